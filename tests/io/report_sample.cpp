// Writes one HTML report made from the simulator's answers, for the browser check and the
// report's figures; prints its write time and size.
//
//   report_sample FILE [N] [--screenshots] [--hostile] [--compared]
//
// N pages (default 10 000); --hostile makes the first pages' URLs, an audit title and an error
// message markup that must stay text; --compared adds an older run of the same pages.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "io/html_report.h"
#include "io/report_rows.h"

namespace {

using namespace velmora;
using namespace velmora::report_rows;

// One report for the browser check; prints its write time and size.
int WriteOne(int argc, char** argv) {
    const std::string path = argv[1];
    int n = 10000;
    bool screenshots = false, hostile = false, compared = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--screenshots")
            screenshots = true;
        else if (a == "--hostile")
            hostile = true;
        else if (a == "--compared")
            compared = true;
        else
            n = std::stoi(a);
    }
    const TURLTaskInfoList list = MakeRows(n, hostile, 0);
    const TURLTaskInfoList older = MakeRows(n, hostile, 13);
    TReportInput input = SampleInput(list, screenshots);
    if (compared) {
        input.Compared = true;
        input.OlderRun = input.Run;
        input.OlderRows = Rows(older);
    }
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    if (!WriteHtmlReport(path, input, error)) {
        std::fprintf(stderr, "report_sample: %s\n", error.c_str());
        return 2;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("report_sample: %s pages=%d write-ms=%.0f bytes=%ld\n", path.c_str(), n, ms,
                FileSize(path));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: report_sample FILE [N] [--screenshots] [--hostile] [--compared]\n");
        return 2;
    }
    return WriteOne(argc, argv);
}
