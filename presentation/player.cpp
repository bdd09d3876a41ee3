#include "presentation/player.h"

#include "presentation/res/resource_ids.h"

Image basePicture;
Image layerPictures[lastLayerId - firstLayerId + 1];
Image pointerSprite;
Image spinnerStrip;
Image scenePicture;
Image framePicture;

std::int32_t tick = 0;
std::int32_t slowFactor = 1;

Image &layerPicture(int id) { return layerPictures[id - firstLayerId]; }

const PictureSource pictureSources[pictureSourceCount] = {
    {RES_MBM_BASE, &basePicture},
    {RES_MBM_LAYER_102, &layerPictures[0]},
    {RES_MBM_LAYER_103, &layerPictures[1]},
    {RES_MBM_LAYER_104, &layerPictures[2]},
    {RES_MBM_LAYER_105, &layerPictures[3]},
    {RES_MBM_LAYER_106, &layerPictures[4]},
    {RES_MBM_LAYER_107, &layerPictures[5]},
    {RES_MBM_LAYER_108, &layerPictures[6]},
    {RES_MBM_LAYER_109, &layerPictures[7]},
    {RES_MBM_LAYER_110, &layerPictures[8]},
    {RES_MBM_POINTER, &pointerSprite},
    {RES_MBM_SPINNER, &spinnerStrip},
};
