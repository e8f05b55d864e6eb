// The layering of the source tree: each folder is a layer that may include only
// from the layers below it, nothing below the GUI includes a Qt header, and no
// target below the GUI links Qt.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace vela {
namespace {

namespace fs = std::filesystem;

const fs::path kRoot = VELA_SOURCE_DIR;

// The layers each layer may include from, besides itself.
const std::map<std::string, std::set<std::string>> kAllowed = {
    {"fetch", {}},
    {"store", {"fetch"}},
    {"engine", {"fetch", "store"}},
    {"skin", {}},
    {"notify", {"fetch", "store"}},
    {"propose", {"fetch", "engine"}},
    {"gui", {"fetch", "store", "engine", "skin", "notify", "propose"}},
    {"app", {"fetch", "store", "engine", "skin", "notify", "gui", "cli", "web", "propose"}},
    {"web", {"fetch", "store", "engine", "notify", "propose"}},
    {"cli", {"fetch", "store", "engine", "notify", "web", "propose"}},
};
// The layers that must do without Qt.
const std::set<std::string> kQtFree = {"fetch", "store", "engine", "skin", "notify", "web", "cli",
                                        "propose"};
// Every layer the project has from the start; cli/, notify/ and web/ come later.
const std::vector<std::string> kRequired = {"fetch", "store", "engine", "skin", "gui", "app"};

struct Include {
    fs::path file;  // relative to the source root
    std::string layer;
    int line;
    std::string name;  // as written between the quotes or brackets
    bool quoted;
};

// Every #include of every source file of every layer present.
std::vector<Include> ScanIncludes() {
    static const std::regex kDirective(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    for (const auto& layer : kRequired) {
        EXPECT_TRUE(fs::is_directory(kRoot / layer)) << "no layer folder " << (kRoot / layer);
    }
    std::vector<Include> includes;
    for (const auto& [layer, allowed] : kAllowed) {
        if (!fs::is_directory(kRoot / layer)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(kRoot / layer)) {
            const auto ext = entry.path().extension();
            if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
            std::ifstream in(entry.path());
            std::string text;
            std::smatch m;
            for (int line = 1; std::getline(in, text); ++line) {
                if (std::regex_search(text, m, kDirective)) {
                    includes.push_back(
                        {fs::relative(entry.path(), kRoot), layer, line, m[2], m[1] == "\""});
                }
            }
        }
    }
    return includes;
}

// The layer a project include comes from, found as the compiler finds it: a quoted
// name first beside the including file, then from the source root. Empty for a
// header from outside the project.
std::string LayerOf(const Include& inc) {
    if (inc.quoted) {
        const fs::path beside = (kRoot / inc.file).parent_path() / inc.name;
        if (fs::exists(beside)) {
            const fs::path rel = fs::relative(beside, kRoot);
            return rel.begin() == rel.end() ? std::string() : rel.begin()->string();
        }
    }
    const fs::path name = fs::path(inc.name).lexically_normal();
    const std::string first = name.begin() == name.end() ? "" : name.begin()->string();
    return kAllowed.count(first) ? first : "";
}

std::string Location(const Include& inc) {
    return inc.file.generic_string() + ":" + std::to_string(inc.line);
}

std::string Listed(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += "\n  " + line;
    return text;
}

TEST(Layering, IncludesFollowTheLayerTable) {
    std::vector<std::string> faults;
    for (const auto& inc : ScanIncludes()) {
        const std::string from = LayerOf(inc);
        if (from.empty() || from == inc.layer) continue;
        const auto& allowed = kAllowed.at(inc.layer);
        if (!allowed.count(from)) {
            faults.push_back(Location(inc) + ": includes \"" + inc.name + "\" from " +
                             (kAllowed.count(from) ? from + "/" : from + "/, not a layer") +
                             ", which " + inc.layer + "/ may not use");
        }
    }
    EXPECT_TRUE(faults.empty()) << "Includes across the layers that are not allowed:"
                                << Listed(faults);
}

TEST(Layering, NoQtHeaderBelowTheGui) {
    // Qt's headers are QClassName or QtModule/..., and no other header is named so.
    static const std::regex kQtHeader("^Q[A-Zt]");
    std::vector<std::string> faults;
    for (const auto& inc : ScanIncludes()) {
        if (kQtFree.count(inc.layer) && std::regex_search(inc.name, kQtHeader)) {
            faults.push_back(Location(inc) + ": includes Qt header <" + inc.name + ">");
        }
    }
    EXPECT_TRUE(faults.empty()) << "Qt headers in the layers without Qt:" << Listed(faults);
}

bool IsQt(const std::string& link) {
    return link.starts_with("Qt::") || link.find(" Qt::") != std::string::npos ||
           link.find("Qt6") != std::string::npos;
}

TEST(Layering, NoQtLinkedBelowTheGui) {
    // Written at configuration by tests/layering/CMakeLists.txt.
    std::ifstream in(VELA_LINK_CLOSURE);
    ASSERT_TRUE(in) << "missing " << VELA_LINK_CLOSURE << "; configure the build again";
    std::set<std::string> targets;
    std::vector<std::string> faults;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() == 2 && fields[0] == "target") targets.insert(fields[1]);
        if (fields.size() != 4 || fields[0] != "link") continue;
        // Only the first Qt library on each chain: what Qt itself links is no news.
        const std::string& chain = fields[3];
        if (IsQt(fields[2]) && !IsQt(chain.substr(0, chain.rfind(" -> ")))) {
            faults.push_back(fields[1] + " links " + fields[2] + " (" + chain + ")");
        }
    }
    std::vector<std::string> expected = {"vela_fetch", "vela_store", "vela_engine", "vela_skin"};
    if (fs::is_directory(kRoot / "web")) expected.push_back("vela_web");
    if (fs::is_directory(kRoot / "cli")) expected.push_back("vela-cli");
    if (fs::is_directory(kRoot / "notify")) expected.push_back("vela_notify");
    if (fs::is_directory(kRoot / "propose")) expected.push_back("vela_propose");
    for (const auto& target : expected) {
        EXPECT_TRUE(targets.count(target)) << "target " << target << " not found in the build";
    }
    EXPECT_TRUE(faults.empty()) << "Qt linked by targets below the GUI:" << Listed(faults);
}

}  // namespace
}  // namespace vela
