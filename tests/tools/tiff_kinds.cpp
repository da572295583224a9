// The TIFF kinds corpus for bench/kinds:
//   tiff_kinds make DIR
//       writes every kind as DIR/NAME.tif, the pictures its pages must give as
//       DIR/NAME.expected-N.png, and DIR/kinds.tsv (name, family, tolerance, pages)
//   tiff_kinds judge DIR TOOL...
//       compares the pages each tool wrote into DIR/TOOL/NAME/ (any image FreeImage reads,
//       ordered by the last number in their names) with the expected pictures, and prints a
//       markdown table by family, a summary line per tool and the table of every kind

#include "tests/support/tiff_kinds.h"
#include "tests/support/image_compare.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace kx::test;

int makeCorpus(const fs::path& folder) {
    fs::create_directories(folder);
    std::ofstream index(folder / "kinds.tsv");
    std::vector<TiffKind> kinds = tiffKinds();
    kinds.insert(kinds.end(), peerKinds().begin(), peerKinds().end());
    for (const TiffKind& kind : kinds) {
        std::vector<Picture> pages;
        std::string why;
        if (!kind.make((folder / (kind.name + ".tif")).string(), pages, why)) {
            std::cerr << kind.name << ": " << why << "\n";
            return 1;
        }
        for (size_t page = 0; page < pages.size(); ++page) {
            const TestBitmap bitmap = bitmapOf(pages[page]);
            const fs::path png =
                folder / (kind.name + ".expected-" + std::to_string(page + 1) + ".png");
            FreeImage_Save(FIF_PNG, bitmap.get(), png.c_str(), 0);
        }
        index << kind.name << "\t" << kind.family << "\t" << kind.tolerance << "\t" << pages.size()
              << "\n";
    }
    return 0;
}

struct Row {
    std::string name, family;
    int tolerance = 0;
    int pages = 0;
};

std::vector<Row> readIndex(const fs::path& folder) {
    std::ifstream index(folder / "kinds.tsv");
    std::vector<Row> rows;
    std::string line;
    while (std::getline(index, line)) {
        std::istringstream fields(line);
        Row row;
        std::string tolerance, pages;
        std::getline(fields, row.name, '\t');
        std::getline(fields, row.family, '\t');
        std::getline(fields, tolerance, '\t');
        std::getline(fields, pages, '\t');
        row.tolerance = std::atoi(tolerance.c_str());
        row.pages = std::atoi(pages.c_str());
        rows.push_back(row);
    }
    return rows;
}

// The last number in a file name: "a[12].bmp" and "page-12.png" are page 12.
long pageNumber(const fs::path& file) {
    const std::string name = file.filename().string();
    const size_t end = name.find_last_of("0123456789");
    if (end == std::string::npos)
        return 0;
    const size_t start = name.find_last_not_of("0123456789", end);
    const size_t from = start == std::string::npos ? 0 : start + 1;
    return std::stol(name.substr(from, std::min<size_t>(end + 1 - from, 9)));
}

std::vector<fs::path> pagesWritten(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end(),
              [](const fs::path& a, const fs::path& b) { return pageNumber(a) < pageNumber(b); });
    return files;
}

enum Verdict { k_exact, k_close, k_wrong, k_refused };
const char* const k_verdictNames[] = {"exact", "close", "wrong", "refused"};

// Exact: within the kind's tolerance; close: off by at most 8 more (other rounding, another
// white point); wrong: more, or other sizes or page counts; refused: no page written.
std::pair<Verdict, std::string> judge(const fs::path& corpus, const fs::path& written,
                                      const Row& row) {
    const std::vector<fs::path> files = pagesWritten(written);
    if (files.empty())
        return {k_refused, "refused"};
    if (static_cast<int>(files.size()) != row.pages)
        return {k_wrong, "wrong (" + std::to_string(files.size()) + " of " +
                             std::to_string(row.pages) + " pages)"};
    int largest = 0;
    for (size_t page = 0; page < files.size(); ++page) {
        const TestBitmap got = loadImage(files[page].string());
        const TestBitmap want = loadImage(
            (corpus / (row.name + ".expected-" + std::to_string(page + 1) + ".png")).string());
        const int difference = got && want ? largestDifference(got.get(), want.get()) : -1;
        if (difference < 0)
            return {k_wrong, "wrong (size)"};
        largest = std::max(largest, difference);
    }
    if (largest <= row.tolerance)
        return {k_exact, "exact"};
    const Verdict verdict = largest <= row.tolerance + 8 ? k_close : k_wrong;
    return {verdict, std::string(k_verdictNames[verdict]) + " (" + std::to_string(largest) + ")"};
}

int judgeAll(const fs::path& corpus, const std::vector<std::string>& tools) {
    const std::vector<Row> rows = readIndex(corpus);
    std::map<std::string, std::vector<std::vector<int>>> byFamily; // family -> tool -> verdicts
    std::vector<std::string> familyOrder;
    std::vector<std::vector<int>> totals(tools.size(), std::vector<int>(4));
    std::ostringstream full;
    full << "| kind |";
    for (const std::string& tool : tools)
        full << " " << tool << " |";
    full << "\n|---|";
    for (size_t t = 0; t < tools.size(); ++t)
        full << "---|";
    full << "\n";
    for (const Row& row : rows) {
        if (!byFamily.count(row.family)) {
            familyOrder.push_back(row.family);
            byFamily[row.family].assign(tools.size(), std::vector<int>(4));
        }
        full << "| " << row.name << " |";
        for (size_t t = 0; t < tools.size(); ++t) {
            const auto [verdict, text] = judge(corpus, corpus / tools[t] / row.name, row);
            ++byFamily[row.family][t][verdict];
            ++totals[t][verdict];
            full << " " << text << " |";
        }
        full << "\n";
    }
    std::cout << "| family (kinds) |";
    for (const std::string& tool : tools)
        std::cout << " " << tool << " |";
    std::cout << "\n|---|";
    for (size_t t = 0; t < tools.size(); ++t)
        std::cout << "---|";
    std::cout << "\n";
    const auto cell = [](const std::vector<int>& counts) {
        std::string text;
        for (int v = 0; v < 4; ++v)
            if (counts[v])
                text += (text.empty() ? "" : ", ") + std::to_string(counts[v]) + " " +
                        k_verdictNames[v];
        return text;
    };
    for (const std::string& family : familyOrder) {
        int kinds = 0;
        for (int v = 0; v < 4; ++v)
            kinds += byFamily[family][0][v];
        std::cout << "| " << family << " (" << kinds << ") |";
        for (size_t t = 0; t < tools.size(); ++t)
            std::cout << " " << cell(byFamily[family][t]) << " |";
        std::cout << "\n";
    }
    std::cout << "| **all (" << rows.size() << ")** |";
    for (size_t t = 0; t < tools.size(); ++t)
        std::cout << " **" << cell(totals[t]) << "** |";
    std::cout << "\n\n";
    for (size_t t = 0; t < tools.size(); ++t)
        std::cout << "- " << tools[t] << ": " << cell(totals[t]) << "\n";
    std::cout << "\n" << full.str();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "make")
        return makeCorpus(args[1]);
    if (args.size() >= 3 && args[0] == "judge")
        return judgeAll(args[1], {args.begin() + 2, args.end()});
    std::fprintf(stderr, "usage: tiff_kinds make DIR | tiff_kinds judge DIR TOOL...\n");
    return 2;
}
