// Prints, for each page of a folder with a truth.json (tests/data/pages by
// default), the F1 of the proposer's first candidate and the best of its first
// three, and the share of pages that reach 0.9.
#include <cstdio>

#include "page_quality.h"

// With a second argument, a page file of the folder: its candidates in full.
static void Show(const std::string& folder, const std::string& file) {
    for (const auto& truth : vela::test::ReadTruth(folder)) {
        if (truth.file != file) continue;
        vela::ProposeInput input;
        input.page = vela::test::ReadFile(folder + "/" + file);
        input.url = truth.url;
        input.maxCandidates = 8;
        const vela::Proposal proposal = vela::ProposeSchemes(input);
        std::printf("%s gbk=%d error=%s\n", file.c_str(), proposal.gbk, proposal.error.c_str());
        for (const auto& c : proposal.candidates) {
            const auto& s = c.scheme;
            std::printf(
                "\n== score %.3f items %zu F1 %.3f mode %d clean %d\n before [%s]\n after [%s]\n "
                "pattern %s\n link %s t%d i%d o%d\n",
                c.score, c.items.size(), vela::test::F1(c.items, truth), s.type,
                s.fields.cleanTitles, vela::GbkToUtf8(s.before).c_str(),
                vela::GbkToUtf8(s.after).c_str(), vela::GbkToUtf8(s.pattern).c_str(),
                vela::GbkToUtf8(s.linkTemplate).c_str(), s.titleGroup, s.idGroup, s.otherGroup);
            for (const auto& item : c.items) {
                bool found = false;
                for (const auto& [title, link] : truth.items) {
                    found |= vela::test::ReadTitle(vela::Utf8ToGbk(title)) ==
                                 vela::test::ReadTitle(item.title) &&
                             link == vela::GbkToUtf8(item.link);
                }
                if (!found && &c == &proposal.candidates.front()) {
                    std::printf("   MISS %s | %s\n", vela::test::ReadTitle(item.title).c_str(),
                                vela::GbkToUtf8(item.link).c_str());
                }
            }
            for (std::size_t k = 0; k < c.items.size() && k < 4; ++k) {
                std::printf("   %s | %s\n", vela::GbkToUtf8(c.items[k].title).c_str(),
                            vela::GbkToUtf8(c.items[k].link).c_str());
            }
        }
    }
}

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : VELA_TEST_DATA "/pages";
    if (argc > 2) {
        Show(folder, argv[2]);
        return 0;
    }
    const auto pages = vela::test::ReadTruth(folder);
    int top = 0, three = 0;
    std::printf("%-32s %8s %8s %6s\n", "page", "top F1", "best 3", "cands");
    for (const auto& truth : pages) {
        const auto score = vela::test::ScorePage(folder, truth);
        std::printf("%-32s %8.4f %8.4f %6zu\n", score.file.c_str(), score.top, score.firstThree,
                    score.candidates);
        top += score.top >= 0.9;
        three += score.firstThree >= 0.9;
    }
    if (pages.empty()) return 1;
    std::printf("top F1 >= 0.9 on %d of %zu pages; one of the first three on %d\n", top,
                pages.size(), three);
    return 0;
}
