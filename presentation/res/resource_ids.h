/* Resource ids of the presentation player.
 *
 * Shared by the resource script (presentation.rc, read by windres' C
 * preprocessor) and by the C++ code, so only plain #defines of integers:
 * no casts, enums or C++ syntax. */
#ifndef KOR_PRESENTATION_RESOURCE_IDS_H
#define KOR_PRESENTATION_RESOURCE_IDS_H

/* Manifest (type 24): visual-style common controls. */
#define RES_MANIFEST 1

/* Context menu: one pop-up with an empty caption, and its commands. */
#define RES_MENU_CONTEXT 101
#define RES_CMD_RESTART 40001
#define RES_CMD_EXIT 40002

/* Pictures, resource type "MBM". The scene: base picture and nine layers,
 * all 798 x 600, laid one after another by the timeline. */
#define RES_MBM_BASE 112
#define RES_MBM_LAYER_FIRST 102
#define RES_MBM_LAYER_102 102 /* transparent all over */
#define RES_MBM_LAYER_103 103 /* first document selected */
#define RES_MBM_LAYER_104 104 /* context menu with the erase entry */
#define RES_MBM_LAYER_105 105 /* erase entry highlighted */
#define RES_MBM_LAYER_106 106 /* confirmation box, window inactive */
#define RES_MBM_LAYER_107 107 /* transparent all over */
#define RES_MBM_LAYER_108 108 /* progress window of the erase tool */
#define RES_MBM_LAYER_109 109 /* progress window gone */
#define RES_MBM_LAYER_110 110 /* window active again, document gone */
#define RES_MBM_LAYER_LAST 110
#define RES_MBM_POINTER 119    /* 18 x 24 pointer sprite, tip at (0, 0) */
#define RES_MBM_SPINNER 120    /* 15 x 450 strip of thirty 8-bit frames */
#define RES_MBM_BACKGROUND 121 /* 4 x 3 colours stretched to the screen */

/* Sound clips, resource type "WAVE". */
#define RES_WAVE_SELECT 114 /* the document is selected */
#define RES_WAVE_PROMPT 115 /* the confirmation box appears */
#define RES_WAVE_BUSY 116   /* the progress window appears */
#define RES_WAVE_CLOSE 117  /* the progress window closes */
#define RES_WAVE_SHOW 118   /* the first picture appears */

/* Window class cursor and icon (groups), and the one image in each. */
#define RES_CURSOR_ARROW 111
#define RES_CURSOR_ARROW_IMAGE 1
#define RES_ICON_APP 113
#define RES_ICON_APP_IMAGE 2

#endif
