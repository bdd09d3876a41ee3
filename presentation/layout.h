// Where the picture sits in the window's client area, and the close box of the
// simulated window drawn in it. Portable arithmetic, shared by painting and by
// the click handling so that the two always agree.
#ifndef KOR_PRESENTATION_LAYOUT_H
#define KOR_PRESENTATION_LAYOUT_H

struct PictureOffset {
  int x;
  int y;
};

// Top-left corner of a picture of pictureWidth x pictureHeight centred in a
// client area of clientWidth x clientHeight. Signed division truncates toward
// zero, so a client area smaller than the picture gives a negative offset and
// the picture is cut on both sides, the left (top) losing the smaller half when
// the difference is odd.
PictureOffset centredOffset(int clientWidth, int clientHeight, int pictureWidth,
                            int pictureHeight);

// Whether client point (x, y) lies on the close button of the simulated window,
// picture columns 748 to 788 and rows 1 to 17, with the picture at offset.
bool isOnCloseBox(PictureOffset offset, int x, int y);

#endif
