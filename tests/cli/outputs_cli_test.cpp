// CSV and NetCDF outputs read back as an analysis tool reads them: the NetCDF
// file through the netCDF library, the CSV table cell by cell, and the two
// compared value for value.
#include <netcdf.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <map>
#include <thread>

#include "cli_test_support.h"

namespace {

using namespace dravik_cli_test;

// The CSV table as columns of numbers by heading (an empty cell is NaN, a
// cell that is no number is left out).
std::map<std::string, std::vector<double>> CsvColumns(const std::string& text) {
    std::map<std::string, std::vector<double>> columns;
    std::istringstream in(text);
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
        if (!line.empty() && line.back() == ',') cells.emplace_back();
        if (names.empty()) {
            names = cells;
            continue;
        }
        for (std::size_t k = 0; k < cells.size() && k < names.size(); ++k) {
            char* end = nullptr;
            const double value = std::strtod(cells[k].c_str(), &end);
            if (cells[k].empty()) {
                columns[names[k]].push_back(NAN);
            } else if (*end == '\0') {
                columns[names[k]].push_back(value);
            }
        }
    }
    return columns;
}

struct NcFile {
    int id = -1;
    explicit NcFile(const std::string& path) { EXPECT_EQ(nc_open(path.c_str(), NC_NOWRITE, &id), NC_NOERR) << path; }
    ~NcFile() {
        if (id >= 0) nc_close(id);
    }
    int Var(const char* name) const {
        int v = -1;
        EXPECT_EQ(nc_inq_varid(id, name, &v), NC_NOERR) << name;
        return v;
    }
    std::string Text(int var, const char* name) const {
        std::size_t length = 0;
        if (nc_inq_attlen(id, var, name, &length) != NC_NOERR) return "(none)";
        std::string text(length, '\0');
        nc_get_att_text(id, var, name, text.data());
        return text;
    }
    std::vector<double> Doubles(const char* name, std::size_t count) const {
        std::vector<double> values(count);
        EXPECT_EQ(nc_get_var_double(id, Var(name), values.data()), NC_NOERR) << name;
        return values;
    }
};

void ExpectSame(const std::vector<double>& csv, const std::vector<double>& nc, const char* what) {
    ASSERT_EQ(csv.size(), nc.size()) << what;
    for (std::size_t i = 0; i < csv.size(); ++i) {
        if (std::isnan(csv[i])) {
            EXPECT_TRUE(std::isnan(nc[i])) << what << " row " << i;
        } else {
            EXPECT_EQ(csv[i], nc[i]) << what << " row " << i;
        }
    }
}

using OutputsCliTest = CliTest;

TEST_F(OutputsCliTest, NetcdfHoldsTheCsvValuesWithTheirDescription) {
    const std::string raw = examples_ + "/spr0117.raw", cal = examples_ + "/spr0117.cal";
    for (const char* format : {"csv", "netcdf"}) {
        const Result r = Convert({raw, std::string("out.") + format, cal, "/c", "/t", "/ecf",
                                  "--format", format});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "out.netcdf.part"));
    EXPECT_FALSE(fs::exists(dir_ / "out.csv.part"));
    auto csv = CsvColumns(ReadFile(Path("out.csv")));
    NcFile nc(Path("out.netcdf"));
    int frame_dim = -1, unlimited = -1;
    std::size_t frames = 0, channels = 0;
    ASSERT_EQ(nc_inq_dimid(nc.id, "frame", &frame_dim), NC_NOERR);
    nc_inq_unlimdim(nc.id, &unlimited);
    EXPECT_EQ(unlimited, frame_dim);
    nc_inq_dimlen(nc.id, frame_dim, &frames);
    int wavelength_dim = -1;
    ASSERT_EQ(nc_inq_dimid(nc.id, "wavelength_ES", &wavelength_dim), NC_NOERR);
    nc_inq_dimlen(nc.id, wavelength_dim, &channels);
    EXPECT_EQ(frames, 300u);
    EXPECT_EQ(channels, 128u);

    EXPECT_EQ(nc.Text(NC_GLOBAL, "Conventions"), "CF-1.10");
    EXPECT_EQ(nc.Text(NC_GLOBAL, "source"), "spr0117.raw");
    EXPECT_TRUE(Has(nc.Text(NC_GLOBAL, "history"), "--format netcdf"));
    unsigned long long processed = 0;
    nc_get_att_ulonglong(nc.id, NC_GLOBAL, "frames_processed", &processed);
    EXPECT_EQ(processed, 300u);
    const int time = nc.Var("time");
    EXPECT_EQ(nc.Text(time, "units"), "seconds since 1970-01-01 00:00:00");
    EXPECT_EQ(nc.Text(time, "standard_name"), "time");
    EXPECT_EQ(nc.Text(nc.Var("ES"), "units"), "uW/cm^2/nm");
    EXPECT_EQ(nc.Text(nc.Var("ES"), "fit_type"), "OPTIC3");
    EXPECT_EQ(nc.Text(nc.Var("wavelength_ES"), "units"), "nm");
    EXPECT_EQ(nc.Text(nc.Var("check_sum_error"), "flag_meanings"), "no_error error");
    EXPECT_EQ(nc.Text(nc.Var("T_W"), "long_name"), "T(W)");

    // Every channel of every frame is the CSV's number exactly.
    const std::vector<double> es = nc.Doubles("ES", frames * channels);
    const std::vector<double> wavelengths = nc.Doubles("wavelength_ES", channels);
    EXPECT_EQ(wavelengths.front(), 350.0);
    for (std::size_t c = 0; c < channels; ++c) {
        char name[64];
        std::snprintf(name, sizeof name, "ES(%.1f) [uW/cm^2/nm]", wavelengths[c]);
        std::vector<double> channel;
        for (std::size_t f = 0; f < frames; ++f) channel.push_back(es[f * channels + c]);
        ExpectSame(csv[name], channel, name);
    }
    ExpectSame(csv["T(W) [C]"], nc.Doubles("T_W", frames), "T(W)");
    ExpectSame(csv["INTTIME(ES) [sec]"], nc.Doubles("INTTIME_ES", frames), "INTTIME(ES)");
    // The first time tag, 2026-04-10 10:00:00 UTC, then one every 250 ms.
    const std::vector<double> times = nc.Doubles("time", frames);
    EXPECT_EQ(times[0], 1775815200.0);
    EXPECT_EQ(times[1], 1775815200.25);
    // A frame's flag is set only where its own check sum failed.
    const std::vector<double> flags = nc.Doubles("check_sum_error", frames);
    unsigned long long check_sum_errors = 0;
    nc_get_att_ulonglong(nc.id, NC_GLOBAL, "check_sum_errors", &check_sum_errors);
    EXPECT_EQ(std::count(flags.begin(), flags.end(), 1.0), static_cast<long>(check_sum_errors));
}

// --each names its outputs after the format.
TEST_F(OutputsCliTest, EachNamesItsOutputsAfterTheFormat) {
    const std::string raw = examples_ + "/nav0001.raw", tdf = examples_ + "/nav0001.tdf";
    for (const char* format : {"csv", "netcdf"}) {
        const Result r = Convert({"--each", "--format", format, raw, "--instrument", tdf});
        EXPECT_EQ(r.status, 0) << r.err;
    }
    EXPECT_TRUE(fs::exists(dir_ / "nav0001-nav0001.csv"));
    EXPECT_TRUE(fs::exists(dir_ / "nav0001-nav0001.nc"));
}

// A conversion that fails or is cut short leaves no file under the output's
// name; nor does a refused one.
TEST_F(OutputsCliTest, NoOutputLooksCompleteAfterAFailure) {
    const std::string cal = examples_ + "/spr0117.cal";
    ASSERT_EQ(Loggen({"--size", "40M", "--time-tags", cal, "big.raw"}).status, 0);
    {
        // 10001 sensors: more variables than a NetCDF output takes.
        std::string many = "INSTRUMENT  MNY  ''  3  AS  0  NONE\n";
        for (int i = 0; i < 10001; ++i) many += "V  " + std::to_string(i) + "  ''  1  BU  0  COUNT\n";
        WriteFile(Path("many.cal"), many);
    }
    struct Case {
        const char* name;
        std::vector<std::string> args;
        void (*setup)(const fs::path&);
        bool interrupt;
        int status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"full disk", {"big.raw", "out", cal, "/c", "--format", "netcdf"}, FileSizeLimit64K, false,
         1, "An error occured writing to the output file"},
        {"full disk", {"big.raw", "out", cal, "/c", "--format", "csv"}, FileSizeLimit64K, false, 1,
         "An error occured writing to the output file"},
        {"Ctrl-C", {"big.raw", "out", cal, "/c", "--format", "netcdf"}, nullptr, true, 1,
         "Conversion aborted."},
        {"Ctrl-C", {"big.raw", "out", cal, "/c", "--format", "csv"}, nullptr, true, 1,
         "Conversion aborted."},
        {"many sensors", {"big.raw", "out", "many.cal", "--format", "netcdf"}, nullptr, false, 1,
         "at most 10000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.args.back());
        fs::remove(dir_ / "out.part");
        std::vector<std::string> args = c.args;
        args.emplace_back("--no-settings");
        const pid_t pid = StartWith(c.setup, DRAVIK_CONVERT, args);
        if (c.interrupt) {
            const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            auto written = [&] {
                std::error_code ec;
                const auto size = fs::file_size(dir_ / "out.part", ec);
                return !ec && size > 100000;
            };
            while (!written() && std::chrono::steady_clock::now() < give_up) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            ::kill(pid, SIGINT);
        }
        const Result r = Finish(pid);
        if (r.status == 77) GTEST_SKIP() << "no file size limit";
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_TRUE(Has(r.err, c.message)) << r.err;
        EXPECT_FALSE(fs::exists(dir_ / "out"));
        EXPECT_FALSE(fs::exists(dir_ / "-"));
        // A cut-short output keeps its frames under the .part name, and a
        // NetCDF one says it is incomplete.
        if (c.interrupt && c.args.back() == "netcdf") {
            NcFile nc(Path("out.part"));
            EXPECT_TRUE(Has(nc.Text(NC_GLOBAL, "conversion"), "incomplete"));
        } else if (c.interrupt) {
            EXPECT_GT(fs::file_size(dir_ / "out.part"), 100000u);
        } else {
            EXPECT_FALSE(fs::exists(dir_ / "out.part"));
        }
    }
}

}  // namespace
