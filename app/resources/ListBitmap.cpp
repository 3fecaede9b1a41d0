#include "app/resources/ListBitmap.h"

namespace velmo {

namespace {

// Three pictures of 26 x 16 side by side, each an envelope with the mark of its action.
constexpr const char* kRows[] = {
    "..............................................................................",
    "kkkkkkkkkkkkkkkkkk........kkkkkkkkkkkkkkkkkk........kkkkkkkkkkkkkkkkkk........",
    "kkwwwwwwwwwwwwwwkk........kkwwwwwwwwwwwwwwkk........kkwwwwwwwwwwwwwwkk........",
    "kwfwwwwwwwwwwwwfwk........kwfwwwwwwwwwwwwfwk........kwfwwwwwwwwwwwwfwk........",
    "kwwfwwwwwwwwwwfwwk........kwwfwwwwwwwwwwfwwk........kwwfwwwwwwwwwwfwwk........",
    "kwwwfwwwwwwwwfwwwk........kwwwfwwwwwwwwfwwwk..h.....kwwwfwwwwwwwwfwwwk........",
    "kwwwwfwwwwwwfwwwwk......GGkwwwwfwwwwwwfwwwwk.hh.....kwwwwfwwwwwwfwwRRk.....RR.",
    "kwwwwwfwwwwfwwwwwk.....GgGkwwwwwfwwwwfwwwwwkhsh.....kwwwwwfwwwwfwwwRrR....RrR.",
    "kwwwwwwffffwwwwwwk....GggGkwwwwwwffffwwwhhhhsshr...rkwwwwwwffffwwwwwRrR..RrR..",
    "kwwwwwwwwwwwwwGGwk...GggG.kwwwwwwwwwwwwwhsssssh.r.r.kwwwwwwwwwwwwwwwwRrRRrR...",
    "kwwwwwwwwwwwwwGgGk..GggG..kwwwwwwwwwwwwwhsssssh..r..kwwwwwwwwwwwwwwwwkRrrR....",
    "kwwwwwwwwwwwwwGggG.GggG...kwwwwwwwwwwwwwhsssssh.r.r.kwwwwwwwwwwwwwwwwkRrrR....",
    "kkkkkkkkkkkkkkkGggGggG....kkkkkkkkkkkkkkhhhhsshr...rkkkkkkkkkkkkkkkkkRrRRrR...",
    "................GgggG.......................hsh.....................RrR..RrR..",
    ".................GgG.........................hh....................RrR....RrR.",
    "..................G...........................h....................RR......RR.",
};

}  // namespace

Bitmap ListBitmap() { return DecodePixelArt(kRows, PicturePalette()); }

}  // namespace velmo
