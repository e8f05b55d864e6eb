#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/scheme.h"

// Finding a page's list of articles by itself and proposing schemes for it.

namespace vela {

// How the page's text is encoded, when the caller knows.
enum class PageEncoding { kDetect, kGbk, kUtf8 };

struct ProposeInput {
    std::string page;  // the page's bytes as fetched (or saved from a browser)
    // The page's address: links resolve against it (and a <base href>), and it
    // becomes each candidate's address. UTF-8; an address that is not UTF-8 is
    // taken as GBK.
    std::string url;
    std::string contentType;  // the answer's Content-Type header, when there was one
    PageEncoding encoding = PageEncoding::kDetect;
    std::string cookie;     // GBK, put into each candidate's form
    std::string userAgent;  // GBK, put into each candidate's form
    std::size_t maxCandidates = 5;
    // How ProposeAddress gets the page at `url`: requested, or rendered by the
    // headless browser (the document after its scripts ran); the candidates'
    // schemes fetch it the same way.
    FetchMode fetch = FetchMode::kHttp;
};

// One article as the candidate's scheme records it: GBK texts, the title as it is
// stored (cleaned when the scheme cleans titles), the link whole.
struct ProposedItem {
    std::string title;
    std::string link;
};

struct Candidate {
    double score = 0;  // 0..1, higher is likelier the page's main list
    // The scheme: name, address, encoding, markers, pattern, link template,
    // groups, judgement mode, cookie, agent and fields (GBK texts; no id and no
    // history: a new scheme). SchemeFormOf gives the editor's form of it.
    Scheme scheme;
    // What the engine's own test path records for the page with that scheme.
    std::vector<ProposedItem> items;
};

struct Proposal {
    bool gbk = false;                   // the encoding the page was read in
    std::vector<Candidate> candidates;  // best first; empty when the page holds no list
    std::string error;                  // UTF-8, why there is no candidate
};

// The candidate lists of `input.page`, ranked. Bounded in time and memory on any
// page: it ends with candidates or an error.
Proposal ProposeSchemes(const ProposeInput& input);

}  // namespace vela
