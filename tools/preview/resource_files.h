// The player's pictures read from the committed resource files rather than
// from a program's resources: the resource script says which file holds which
// "MBM" id, and resource_ids.h what the id names stand for.
#ifndef KOR_TOOLS_PREVIEW_RESOURCE_FILES_H
#define KOR_TOOLS_PREVIEW_RESOURCE_FILES_H

#include <string>

#include "image/image.h"

// Decodes MBM resource id from resDir into picture. Returns loadMbm's result,
// or -1 when the script names no file for the id or the file can't be read;
// error then says which.
int loadMbmResource(const std::string &resDir, int id, Image &picture, std::string &error);

// Loads the twelve pictures of the player (player.h) the way the window does
// when it is created. False, with the failures in error, when any failed.
bool loadPlayerPictures(const std::string &resDir, std::string &error);

#endif
