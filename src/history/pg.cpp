#include "history/pg.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/translate.h"
#include "history/history_store.h"

namespace velmora::history {

TPgResult& TPgResult::operator=(TPgResult&& other) noexcept {
    if (this != &other) {
        PQclear(FResult);
        FResult = other.FResult;
        other.FResult = nullptr;
    }
    return *this;
}

std::string_view TPgResult::Text(int row, int col) const {
    return {PQgetvalue(FResult, row, col), static_cast<size_t>(PQgetlength(FResult, row, col))};
}

int64_t TPgResult::Int(int row, int col) const {
    const std::string_view t = Text(row, col);
    int64_t v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

double TPgResult::Real(int row, int col) const {
    const std::string_view t = Text(row, col);
    double v = 0;
    std::from_chars(t.data(), t.data() + t.size(), v);
    return v;
}

std::string PgReal(double v) {
    char buf[32];
    const auto end = std::to_chars(buf, buf + sizeof buf, v).ptr;
    return std::string(buf, end);
}

namespace {

// libpq's notices and warnings as the program's own lines: "velmora-cli: PostgreSQL: ...".
void PrintNotice(void*, const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    std::fprintf(stderr, "%s: PostgreSQL: %s\n", program_invocation_short_name, text.c_str());
}

// The password file libpq would read for uri, when it would refuse it (open to the group or to
// all, or no plain file) and say so itself, without the program's name; else empty.
std::string RefusedPasswordFile(const std::string& uri) {
    std::string file;
    if (PQconninfoOption* options = PQconninfoParse(uri.c_str(), nullptr)) {
        for (const PQconninfoOption* o = options; o->keyword; ++o)
            if (std::strcmp(o->keyword, "passfile") == 0 && o->val) file = o->val;
        PQconninfoFree(options);
    }
    if (file.empty())
        if (const char* env = std::getenv("PGPASSFILE")) file = env;
    if (file.empty())
        if (const char* home = std::getenv("HOME")) file = std::string(home) + "/.pgpass";
    struct stat st {};
    if (file.empty() || ::stat(file.c_str(), &st) != 0) return {};
    return !S_ISREG(st.st_mode) || (st.st_mode & (S_IRWXG | S_IRWXO)) ? file : std::string();
}

}  // namespace

TResult<> TPgConnection::Open(const std::string& uri) {
    Close();
    FUri = uri;
    const std::string refused = RefusedPasswordFile(uri);
    // libpq would skip the file with a warning of its own; it is said here, and libpq pointed
    // at no file, which it skips in silence.
    if (!refused.empty())
        PrintNotice(nullptr, FormatLog(Tr("файл паролей %s не используется: он не обычный файл "
                                          "или доступен не только владельцу (нужны права 0600)"),
                                       0, refused)
                                 .c_str());
    const char* keywords[] = {"dbname", "passfile", nullptr};
    const char* values[] = {uri.c_str(), refused.empty() ? nullptr : "/nonexistent/.pgpass",
                            nullptr};
    // Later keywords override what the URI in dbname sets.
    FConn = PQconnectdbParams(keywords, values, 1);
    if (FConn) PQsetNoticeProcessor(FConn, PrintNotice, nullptr);
    if (PQstatus(FConn) != CONNECTION_OK) {
        TFailure f = Failure(nullptr);
        Close();
        return f;
    }
    return Configure();
}

TResult<> TPgConnection::Configure() {
    PQsetClientEncoding(FConn, "UTF8");
    // Short statements only: compiling one with JIT costs more than running it.
    TResult<TPgResult> r =
        Checked(PQexec(FConn, "SET client_min_messages = warning; SET jit = off"));
    if (!r) return r.Failure();
    return {};
}

void TPgConnection::Close() {
    if (FConn) PQfinish(FConn);
    FConn = nullptr;
}

TFailure TPgConnection::Failure(const PGresult* r) const {
    std::string text = r       ? PQresultErrorMessage(r)
                       : FConn ? PQerrorMessage(FConn)
                               : "out of memory";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    // Connection failures (class 08, or none at all), shutdowns (57P), conflicts between
    // transactions (40) and a full disk (53) pass: waiting mends them.
    const bool passing = !FConn || PQstatus(FConn) != CONNECTION_OK || !state ||
                         std::strncmp(state, "08", 2) == 0 || std::strncmp(state, "57P", 3) == 0 ||
                         std::strncmp(state, "40", 2) == 0 || std::strncmp(state, "53", 2) == 0;
    return HistoryFailure(passing ? THistoryError::Busy : THistoryError::Other,
                          "PostgreSQL: " + text);
}

TResult<> TPgConnection::Connected() {
    if (!FConn) return Fail("PostgreSQL: not connected");
    if (PQstatus(FConn) == CONNECTION_OK) return {};
    PQreset(FConn);
    if (PQstatus(FConn) != CONNECTION_OK) return Failure(nullptr);
    return Configure();
}

TResult<TPgResult> TPgConnection::Checked(PGresult* raw) const {
    const ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        TFailure f = Failure(raw);
        PQclear(raw);
        return f;
    }
    return TPgResult(raw);
}

TResult<TPgResult> TPgConnection::Exec(const std::string& sql, const TPgParams& params) {
    if (TResult<> c = Connected(); !c) return c.Failure();
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    return Checked(PQexecParams(FConn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                values.data(), nullptr, nullptr, 0));
}

TResult<> TPgConnection::Run(const std::string& sql) {
    if (TResult<> c = Connected(); !c) return c;
    TResult<TPgResult> r = Checked(PQexec(FConn, sql.c_str()));
    if (!r) return r.Failure();
    return {};
}

TPgTransaction::~TPgTransaction() {
    if (FBegun && !FDone) (void)FDb.Run("ROLLBACK");
}

TResult<> TPgTransaction::Commit() {
    FDone = true;
    return FDb.Run("COMMIT");
}

}  // namespace velmora::history
