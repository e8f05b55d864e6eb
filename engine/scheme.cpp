#include "scheme.h"

#include "leading_integer.h"

namespace vela {

JudgeMode ToJudgeMode(int32_t type) {
    if (type == 2) return JudgeMode::OldestFirst;
    if (type == 8) return JudgeMode::CompareArticleId;
    return JudgeMode::NewestFirst;
}

Scheme SchemeFromCells(const std::vector<std::string>& cells) {
    auto cell = [&](size_t i) { return i < cells.size() ? cells[i] : std::string(); };
    Scheme s;
    s.id = cell(0);
    s.gbk = cell(2) == "1";
    s.name = cell(3);
    s.url = cell(4);
    s.cookie = cell(5);
    s.userAgent = cell(6);
    s.lastMarker = cell(7);
    s.lastLink = cell(8);
    s.linkTemplate = cell(10);
    s.pattern = cell(11);
    s.before = cell(12);
    s.after = cell(13);
    s.titleGroup = LeadingInteger(cell(14));
    s.idGroup = LeadingInteger(cell(15));
    s.otherGroup = LeadingInteger(cell(16));
    s.lastId = ArticleId::Read(cell(18));
    s.type = LeadingInteger(cell(19));
    return s;
}

Scheme SchemeFromForm(const SchemeForm& form) {
    Scheme s;
    s.name = form.name;
    s.gbk = form.code == "1";
    s.url = form.url;
    s.before = form.before;
    s.after = form.after;
    s.pattern = form.regular;
    s.linkTemplate = form.buquan;
    s.cookie = form.cookie;
    s.userAgent = form.ua;
    s.fields = form.fields;
    return s;
}

SchemeForm SchemeFormOf(const Scheme& scheme) {
    SchemeForm form;
    form.id = "0";
    form.name = scheme.name;
    form.code = scheme.gbk ? "1" : "0";
    form.url = scheme.url;
    form.before = scheme.before;
    form.after = scheme.after;
    form.regular = scheme.pattern;
    form.buquan = scheme.linkTemplate;
    form.cookie = scheme.cookie;
    form.ua = scheme.userAgent;
    form.tindex = std::to_string(scheme.titleGroup);
    form.uindex = std::to_string(scheme.idGroup);
    form.oindex = std::to_string(scheme.otherGroup);
    form.type = std::to_string(scheme.type);
    form.fields = scheme.fields;
    return form;
}

}  // namespace vela
