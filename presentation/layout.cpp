#include "presentation/layout.h"

PictureOffset centredOffset(int clientWidth, int clientHeight, int pictureWidth,
                            int pictureHeight) {
  return {(clientWidth - pictureWidth) / 2, (clientHeight - pictureHeight) / 2};
}

bool isOnCloseBox(PictureOffset offset, int x, int y) {
  // All four bounds are strict: the button's own frame (columns 747 and 789,
  // rows 0 and 18) does not respond.
  return offset.x + 747 < x && x < offset.x + 789 && offset.y < y && y < offset.y + 18;
}
