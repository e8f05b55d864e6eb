#pragma once

#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "fetch/encoding.h"
#include "fetch/readable_text.h"
#include "propose/page_text.h"
#include "propose/proposal.h"

// How well the proposer finds the lists of the real pages in tests/data/pages,
// whose lists were checked by hand (truth.json): the F1 of a candidate's items
// against the page's list, an item counting when its title, as a person reads
// it, and its whole link are the list's.

namespace vela::test {

struct PageTruth {
    std::string file;
    std::string url;
    std::vector<std::pair<std::string, std::string>> items;  // UTF-8 title, link
};

inline std::vector<PageTruth> ReadTruth(const std::string& folder) {
    std::ifstream in(folder + "/truth.json");
    const nlohmann::json truth = nlohmann::json::parse(in, nullptr, false);
    std::vector<PageTruth> pages;
    if (!truth.is_array()) return pages;
    for (const auto& page : truth) {
        PageTruth p;
        p.file = page.value("file", "");
        p.url = page.value("base_url", "");
        for (const auto& item : page["items"]) {
            p.items.emplace_back(item.value("title", ""), item.value("link", ""));
        }
        pages.push_back(std::move(p));
    }
    return pages;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A title as a person reads it (UTF-8 in, UTF-8 out), in what GBK can hold: the
// stored form's full-width ";", "(" and ")" read as the ASCII ones.
inline std::string ReadTitle(const std::string& gbk) {
    std::string plain;
    for (std::size_t i = 0; i < gbk.size();) {
        const std::string_view two = std::string_view(gbk).substr(i, 2);
        if (two == "\xA3\xBB" || two == "\xA3\xA8" || two == "\xA3\xA9") {
            plain += two == "\xA3\xBB" ? ';' : two == "\xA3\xA8" ? '(' : ')';
            i += 2;
        } else {
            const std::size_t step = static_cast<unsigned char>(gbk[i]) >= 0x80 ? 2 : 1;
            plain += two.substr(0, step);
            i += step;
        }
    }
    return GbkToUtf8(ReadableText(plain));
}

inline double F1(const std::vector<ProposedItem>& items, const PageTruth& truth) {
    std::map<std::pair<std::string, std::string>, int> want;
    for (const auto& [title, link] : truth.items) {
        ++want[{ReadTitle(Utf8ToGbk(title)), link}];
    }
    int hits = 0;
    for (const ProposedItem& item : items) {
        auto it = want.find({ReadTitle(item.title), GbkToUtf8(item.link)});
        if (it != want.end() && it->second > 0) {
            --it->second;
            ++hits;
        }
    }
    if (hits == 0) return 0;
    const double precision = static_cast<double>(hits) / static_cast<double>(items.size());
    const double recall = static_cast<double>(hits) / static_cast<double>(truth.items.size());
    return 2 * precision * recall / (precision + recall);
}

struct PageScore {
    std::string file;
    double top = 0;         // F1 of the first candidate
    double firstThree = 0;  // the best F1 of the first three
    std::size_t candidates = 0;
};

inline PageScore ScorePage(const std::string& folder, const PageTruth& truth) {
    ProposeInput input;
    input.page = ReadFile(folder + "/" + truth.file);
    input.url = truth.url;
    const Proposal proposal = ProposeSchemes(input);
    PageScore score;
    score.file = truth.file;
    score.candidates = proposal.candidates.size();
    for (std::size_t k = 0; k < proposal.candidates.size() && k < 3; ++k) {
        const double f1 = F1(proposal.candidates[k].items, truth);
        if (k == 0) score.top = f1;
        score.firstThree = std::max(score.firstThree, f1);
    }
    return score;
}

}  // namespace vela::test
