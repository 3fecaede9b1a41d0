#!/usr/bin/env python3
"""Writes common/UnicodeFolding.cpp from Debian's unicode-data (CaseFolding.txt, UnicodeData.txt).

Run it again when that package brings a newer Unicode version:
    python3 tools/unicode/make_unicode_folding.py > common/UnicodeFolding.cpp
"""
import sys

DATA = "/usr/share/unicode/"


def case_folding_runs():
    folds = {}
    with open(DATA + "CaseFolding.txt", encoding="utf-8") as data:
        for line in data:
            line = line.split("#")[0].strip()
            if not line:
                continue
            code, status, mapping = [field.strip() for field in line.split(";")[:3]]
            if status in ("C", "S"):  # the simple folding: one code point to one
                folds[int(code, 16)] = int(mapping, 16)
    runs = []  # first, last, delta, stride: every stride-th code point of the run moves by delta
    for code in sorted(folds):
        delta = folds[code] - code
        if runs:
            first, last, run_delta, stride = runs[-1]
            step = code - last
            if run_delta == delta and step in (1, 2) and stride in (0, step):
                runs[-1] = (first, code, delta, step)
                continue
        runs.append((code, code, delta, 0))
    return [(first, last, delta, max(stride, 1)) for first, last, delta, stride in runs]


def digit_ranges():
    ranges = []
    with open(DATA + "UnicodeData.txt", encoding="utf-8") as data:
        for line in data:
            fields = line.split(";")
            if fields[2] != "Nd":
                continue
            code = int(fields[0], 16)
            if ranges and ranges[-1][1] == code - 1:
                ranges[-1][1] = code
            else:
                ranges.append([code, code])
    return ranges


def version():
    with open(DATA + "CaseFolding.txt", encoding="utf-8") as data:
        return data.readline().strip("# \n").replace("CaseFolding-", "").replace(".txt", "")


def main():
    out = sys.stdout
    out.write("// Written by tools/unicode/make_unicode_folding.py from Unicode %s; do not edit.\n" % version())
    out.write('#include "common/UnicodeFolding.h"\n\n#include <algorithm>\n#include <iterator>\n\n')
    out.write("namespace velmo {\n\nnamespace {\n\n")
    out.write("struct FoldRun {\n    char32_t first;\n    char32_t last;\n    int delta;\n    char32_t stride;\n};\n\n")
    out.write("constexpr FoldRun kFoldRuns[] = {\n")
    for first, last, delta, stride in case_folding_runs():
        out.write("    {0x%04X, 0x%04X, %d, %d},\n" % (first, last, delta, stride))
    out.write("};\n\nstruct CodeRange {\n    char32_t first;\n    char32_t last;\n};\n\n")
    out.write("constexpr CodeRange kDigitRanges[] = {\n")
    for first, last in digit_ranges():
        out.write("    {0x%04X, 0x%04X},\n" % (first, last))
    out.write("};\n\n}  // namespace\n\n")
    out.write("""char32_t SimpleCaseFold(char32_t c) {
    const auto* run = std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), c,
                                       [](char32_t code, const FoldRun& r) { return code < r.first; });
    if (run == std::begin(kFoldRuns)) return c;
    --run;
    if (c > run->last || (c - run->first) % run->stride != 0) return c;
    return static_cast<char32_t>(static_cast<int>(c) + run->delta);
}

bool IsDecimalDigit(char32_t c) {
    const auto* range = std::upper_bound(std::begin(kDigitRanges), std::end(kDigitRanges), c,
                                         [](char32_t code, const CodeRange& r) { return code < r.first; });
    return range != std::begin(kDigitRanges) && c <= std::prev(range)->last;
}

}  // namespace velmo
""")


main()
