// Skins: a picture of the device around the display, with regions that act as its keys and as
// its touch screen.
//
// A skin file is text, one item a line ('#' starts a comment):
//     bitmap NAME          a binary PPM picture (P6, 8 bits a channel) beside the skin file
//     rotation DEGREES     0, 90, 180 or 270: the picture is shown turned, touches are turned back
//     lcd LEFT TOP         where the display's top-left corner lies in the window
//     key LEFT RIGHT TOP BOTTOM NUMBER   a region (inclusive window pixels, 0 to 65535) pressing
//                                        key NUMBER (0-99)
//     touch LEFT RIGHT TOP BOTTOM        the region that acts as the touch screen
// The window takes the size of the turned picture (at least the display's size without one).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamsk {

constexpr uint32_t kSkinTouchCode = 0x1FF0000;

struct SkinRegion {
    int32_t left, right, top, bottom;  // inclusive, window pixels
    uint32_t code;                     // a key number, or kSkinTouchCode
};

struct Skin {
    std::vector<uint32_t> bitmap;  // 0x00RRGGBB, row by row, as shown (turned)
    int32_t width = 0, height = 0;
    int32_t rotation = 0;
    int32_t lcdLeft = 0, lcdTop = 0;
    std::vector<SkinRegion> regions;
};

// Reads a skin file's text; `folder` is where its picture lies. False with a message naming the
// line at fault.
bool SkinParse(const std::string& text, const std::string& folder, Skin* skin, std::string* error);
// Loads a skin file.
bool SkinLoad(const std::string& path, Skin* skin, std::string* error);
// A binary PPM picture as 0x00RRGGBB pixels.
bool SkinParsePpm(const std::string& bytes, std::vector<uint32_t>* pixels, int32_t* width,
                  int32_t* height, std::string* error);
// Turns a picture by 90, 180 or 270 degrees clockwise.
void SkinRotate(std::vector<uint32_t>* pixels, int32_t* width, int32_t* height, int32_t degrees);

// The first region that holds the point, null for none.
const SkinRegion* SkinRegionAt(const Skin& skin, int32_t x, int32_t y);
// A touch at (x, y) relative to the touch region, turned by the rotation on a display of W x H.
void SkinTurnTouch(int32_t rotation, int32_t width, int32_t height, int32_t* x, int32_t* y);

}  // namespace tamsk
