// Where the background picture is copied to, for each drawing mode. Portable: the
// dialog turns these positions into BitBlt / StretchBlt calls.
#pragma once

#include <vector>

enum BackgroundMode { Tile = 0, Center = 1, Stretch = 2 };

// True for Tile, Center and Stretch; any other value is no mode.
bool IsBackgroundMode(int mode);

struct BlitOrigin {
    int x = 0;
    int y = 0;
    bool operator==(const BlitOrigin&) const = default;
};

// Tile: rows top to bottom, left to right within a row, every multiple of the picture's
// size that starts inside the client area. A picture without a positive size gives no
// copies (the loop would never end).
std::vector<BlitOrigin> TileOrigins(int pictureWidth, int pictureHeight, int clientWidth,
                                    int clientHeight);

// Center: the picture centred where it is smaller than the client area, else at 0.
BlitOrigin CenterOrigin(int pictureWidth, int pictureHeight, int clientWidth, int clientHeight);
