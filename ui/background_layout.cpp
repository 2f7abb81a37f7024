#include "ui/background_layout.h"

bool IsBackgroundMode(int mode) {
    return mode == Tile || mode == Center || mode == Stretch;
}

std::vector<BlitOrigin> TileOrigins(int pictureWidth, int pictureHeight, int clientWidth,
                                    int clientHeight) {
    std::vector<BlitOrigin> origins;
    if (pictureWidth <= 0 || pictureHeight <= 0) {
        return origins;
    }
    for (int y = 0; y < clientHeight; y += pictureHeight) {
        for (int x = 0; x < clientWidth; x += pictureWidth) {
            origins.push_back({x, y});
        }
    }
    return origins;
}

BlitOrigin CenterOrigin(int pictureWidth, int pictureHeight, int clientWidth, int clientHeight) {
    return {pictureWidth < clientWidth ? (clientWidth - pictureWidth) / 2 : 0,
            pictureHeight < clientHeight ? (clientHeight - pictureHeight) / 2 : 0};
}
