// The reader of scheme files, given any bytes as a file: either a clear error with
// its file and line, or schemes that, written back and read again, are the same.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/scheme_file.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const vela::SchemeFileRead read = vela::ReadSchemeFile(bytes, "f.toml");
    FUZZ_CHECK(read.errors.empty() != read.schemes.empty());
    for (const std::string& error : read.errors) FUZZ_CHECK(error.starts_with("f.toml:"));
    if (!read.ok()) return 0;

    std::vector<vela::SchemeSave> saves;
    for (const vela::FileScheme& scheme : read.schemes) saves.push_back(scheme.save);
    const vela::SchemeFileText file = vela::WriteSchemeFile(saves);
    FUZZ_CHECK(file.ok);
    const vela::SchemeFileRead again = vela::ReadSchemeFile(file.text, "again.toml");
    FUZZ_CHECK(again.ok());
    FUZZ_CHECK(again.schemes.size() == saves.size());
    for (std::size_t i = 0; i < saves.size() && i < again.schemes.size(); ++i) {
        const vela::SchemeForm& a = saves[i].form;
        const vela::SchemeForm& b = again.schemes[i].save.form;
        FUZZ_CHECK(a.id == b.id && a.code == b.code && a.url == b.url && a.before == b.before &&
                   a.after == b.after && a.regular == b.regular && a.buquan == b.buquan &&
                   a.cookie == b.cookie && a.tindex == b.tindex && a.uindex == b.uindex &&
                   a.oindex == b.oindex && a.ua == b.ua && a.name == b.name && a.type == b.type &&
                   a.fields == b.fields);
        FUZZ_CHECK(saves[i].ticked == again.schemes[i].save.ticked);
    }
    return 0;
}
