#include "sim/fixtures.h"

#include <simdjson.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace velmora::sim {

namespace {

bool ReadFile(const std::filesystem::path& path, std::string* out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    *out = ss.str();
    return static_cast<bool>(in) || in.eof();
}

// Renders every template once with an awkward URL and parses it, so a fixture the edits or
// the slot search got wrong fails Start rather than a test far away.
bool Verify(const AnswerTemplate& t, int variant, const std::string& name, std::string* error) {
    static const std::string kProbe = "http://probe.invalid/a\"b\\c<d>&e=f'g\xC3\xA9";
    std::string body = t.Render(JsonEscape(kProbe));
    simdjson::dom::parser parser;
    simdjson::dom::element doc;
    if (parser.parse(body).get(doc) != simdjson::SUCCESS) {
        *error = name + ": answer is not valid JSON";
        return false;
    }
    std::string_view id, requested;
    if (doc["id"].get(id) != simdjson::SUCCESS || id != kProbe ||
        doc["lighthouseResult"]["requestedUrl"].get(requested) != simdjson::SUCCESS ||
        requested != kProbe) {
        *error = name + ": requested URL not echoed";
        return false;
    }
    if (variant == kNoScore &&
        !doc.at_pointer("/lighthouseResult/categories/performance/score").is_null()) {
        *error = name + ": score not nulled";
        return false;
    }
    if (variant == kNoAudits && doc["lighthouseResult"]["audits"].error() == simdjson::SUCCESS) {
        *error = name + ": audits not removed";
        return false;
    }
    return true;
}

}  // namespace

bool LoadFixtures(const std::string& dirName, Fixtures* f, std::string* error) {
    namespace fs = std::filesystem;
    const fs::path dir(dirName);
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        *error = "fixture directory not found: " + dirName;
        return false;
    }
    auto read = [&](const std::string& name, std::string* out) {
        if (ReadFile(dir / name, out) && !out->empty()) return true;
        *error = "cannot read fixture " + (dir / name).string();
        return false;
    };
    auto load = [&](const std::string& name, const std::string& text, int variant,
                    AnswerTemplate* t) {
        std::string why;
        if (!t->Load(text, &why)) {
            *error = name + ": " + why;
            return false;
        }
        return Verify(*t, variant, name, error);
    };
    static const char* const kNames[2][2][2] = {
        {{"psi13_fast_desktop.json", "psi13_fast_mobile.json"},
         {"psi13_heavy_desktop.json", "psi13_heavy_mobile.json"}},
        {{"psi_fast_desktop.json", "psi_fast_mobile.json"},
         {"psi_heavy_desktop.json", "psi_heavy_mobile.json"}},
    };
    // The field data is hand-written on one answer; the simulator lends it to the others.
    static const char* const kFieldDonors[3] = {nullptr, "synthetic_fielddata_heavy_mobile.json",
                                                "synthetic_fielddata_origin_fallback_mobile.json"};
    std::string donors[3];
    for (int field = kPageField; field <= kOriginField; ++field)
        if (!read(kFieldDonors[field], &donors[field])) return false;
    for (int version = kLighthouse13; version <= kLighthouse12; ++version) {
        const int fields = version == kLighthouse13 ? 3 : 1;
        for (int field = kNoField; field < fields; ++field) {
            for (int heavy = 0; heavy < 2; ++heavy) {
                for (int mobile = 0; mobile < 2; ++mobile) {
                    const std::string name = kNames[version][heavy][mobile];
                    std::string text;
                    if (!read(name, &text)) return false;
                    if (field != kNoField && !TransplantFieldData(text, donors[field])) {
                        *error = name + ": field data cannot be added";
                        return false;
                    }
                    std::string noScore = text, noAudits = text;
                    if (!NullPerformanceScore(noScore) || !RemoveAudits(noAudits)) {
                        *error = name + ": performance score or audits not found";
                        return false;
                    }
                    auto& t = f->answers[version][field];
                    if (!load(name, text, kNormal, &t[kNormal][heavy][mobile]) ||
                        !load(name, noScore, kNoScore, &t[kNoScore][heavy][mobile]) ||
                        !load(name, noAudits, kNoAudits, &t[kNoAudits][heavy][mobile])) {
                        return false;
                    }
                }
            }
        }
    }
    static const char* const kCategoryPages[5] = {"good", "poor", "noindex", "error404", "agentic"};
    for (int page = kCatGood; page <= kCatAgentic; ++page) {
        for (int mobile = 0; mobile < 2; ++mobile) {
            // The 404 and the agentic page were recorded for mobile only.
            const bool mobileOnly = page == kCatError404 || page == kCatAgentic;
            const std::string name = std::string("psi13cat/psi13cat_") + kCategoryPages[page] +
                                     (mobile || mobileOnly ? "_mobile" : "_desktop") + ".json";
            std::string text;
            if (!read(name, &text) || !load(name, text, kNormal, &f->categories[page][mobile]))
                return false;
        }
    }
    std::string text;
    if (!read("psi_pdf_desktop.json", &text) ||
        !load("psi_pdf_desktop.json", text, kNormal, &f->pdf) ||
        !read("psi_text_mobile.json", &text) ||
        !load("psi_text_mobile.json", text, kNormal, &f->text)) {
        return false;
    }
    return read("errors/synthetic_error_not_html.json", &f->notHtml) &&
           read("errors/synthetic_error_quota_current.json", &f->quota) &&
           read("errors/synthetic_error_quota_legacy.json", &f->quotaLegacy) &&
           read("errors/synthetic_error_failed_document_request.json", &f->failedDocument) &&
           read("errors/synthetic_error_code_word.json", &f->codeWord) &&
           read("errors/synthetic_error_no_message.json", &f->noMessage);
}

}  // namespace velmora::sim
