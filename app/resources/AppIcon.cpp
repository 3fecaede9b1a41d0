#include "app/resources/AppIcon.h"

namespace velmo {

namespace {

// An envelope above a funnel.
constexpr const char* kRows[] = {
    "................................", "................................", "................................",
    ".kkkkkkkkkkkkkkkkkkkkkkkkkk.....", ".kkwwwwwwwwwwwwwwwwwwwwwwkk.....", ".kwfwwwwwwwwwwwwwwwwwwwwfwk.....",
    ".kwwfwwwwwwwwwwwwwwwwwwfwwk.....", ".kwwwfwwwwwwwwwwwwwwwwfwwwk.....", ".kwwwwfwwwwwwwwwwwwwwfwwwwk.....",
    ".kwwwwwfwwwwwwwwwwwwfwwwwwk.....", ".kwwwwwwfwwwwwwwwwwfwwwwwwk.....", ".kwwwwwwwfwwwwwwwwfwwwwwwwk.....",
    ".kwwwwwwwwfwwwwwwfwwwwwwwwk.....", ".kwwwwwwwwwfwwwwfwwwwwwwwwk.....", ".kwwwwwwwwwwwwwwwwwwwwwwwwk.....",
    ".kwwwwwwwwwwwwwwwwwwwwwwwwk.....", ".kwwwwwwwwwwwwwwwwwwwwwwwwk.....", ".kwwwwwwwwwwwwwwwbbbbbbbbbbbbbb.",
    ".kwwwwwwwwwwwwwwwbBBBBBBBBBBBBb.", ".kwwwwwwwwwwwwwwwwbBBBBBBBBBBb..", ".kkkkkkkkkkkkkkkkkkbBBBBBBBBb...",
    "....................bBBBBBBb....", ".....................bBBBBb.....", "......................bBBb......",
    "......................bBBb......", "......................bBBb......", "......................bBBb......",
    "......................bBBbb.....", ".......................bbb......", "................................",
    "................................", "................................",
};

}  // namespace

Bitmap AppIcon() { return DecodePixelArt(kRows, PicturePalette()); }

}  // namespace velmo
