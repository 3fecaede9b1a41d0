#include "app/resources/StateBitmap.h"

namespace velmo {

namespace {

// Three pictures of 26 x 16 side by side: tick, cross, clock with tick.
constexpr const char* kRows[] = {
    "..............................................................................",
    ".......................................................yy.......yy............",
    "..................GG..............RR......RR..........yyYykkkkkyYyy...........",
    ".................GgG.............RrrR....RrrR.........yY.kkccckk.Yy...........",
    "................GggG.............RrrrR..RrrrR...........kccckccck.............",
    "...............GggG...............RrrrRRrrrR...........kcccckcccck............",
    "......GG......GggG.................RrrrrrrR...........kkcccckcccckk.........GG",
    ".....GggG....GggG...................RrrrrR............kccccckccccck........GgG",
    ".....GgggG..GggG....................RrrrrR............kcccccRkkkcck.......GggG",
    "......GgggGGggG....................RrrrrrrR...........kcccccccccccGG.....GggG.",
    ".......GgggggG....................RrrrRRrrrR..........kkccccccccckGgG...GggG..",
    "........GgggG....................RrrrR..RrrrR..........kccccccccckGggG.GggG...",
    ".........GgG.....................RrrR....RrrR...........kccccccck..GggGggG....",
    "..........G.......................RR......RR.............kkccckk....GgggG.....",
    "..........................................................kkkkk......GgG......",
    ".......................................................k.........k....G.......",
};

}  // namespace

Bitmap StateBitmap() { return DecodePixelArt(kRows, PicturePalette()); }

}  // namespace velmo
