// The road scenarios of e2e/scenarios.txt on the simulated PC. The same table is run by the real
// program under Wine (e2e/wine-scenario), so both platforms meet the same expectations.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "printer_model.h"

namespace {

struct Scenario {
    std::string name;
    std::vector<std::string> options;
    std::string caption, text;
    int recordPort = 0;                // 0: no port receives a byte
    std::set<std::string> statusLines; // "x,y: text"; every status line is drawn at x 10
    std::map<int, std::string> ids;    // port -> ID as written in the table
    std::string problem;               // a line the reader could not take
};

// Names the scenario in test listings instead of dumping its bytes.
void PrintTo(const Scenario& s, std::ostream* out) {
    *out << s.name;
}

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// "LPT1".."LPT3" to 1..3, or 0.
int PortNumber(const std::string& name) {
    return name.size() == 4 && name.compare(0, 3, "LPT") == 0 && name[3] >= '1' && name[3] <= '3'
               ? name[3] - '0'
               : 0;
}

std::vector<Scenario> ReadScenarios() {
    std::vector<Scenario> scenarios;
    std::ifstream in(QX_SCENARIOS);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        const std::string where = "line " + std::to_string(number) + ": " + line;
        if (line.rfind("scenario ", 0) == 0) {
            scenarios.push_back(Scenario{});
            scenarios.back().name = Trim(line.substr(9));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (scenarios.empty() || colon == std::string::npos) {
            if (scenarios.empty())
                scenarios.push_back(Scenario{"unnamed", {}, "", "", 0, {}, {}, where});
            else
                scenarios.back().problem = where;
            continue;
        }
        Scenario& s = scenarios.back();
        const std::string key = line.substr(0, colon);
        const std::string value = Trim(line.substr(colon + 1));
        if (key == "options") {
            std::istringstream words(value);
            for (std::string word; words >> word;)
                s.options.push_back(word);
        } else if (key == "box") {
            const std::size_t bar = value.find(" | ");
            if (bar == std::string::npos) {
                s.problem = where;
                continue;
            }
            s.caption = value.substr(0, bar);
            s.text = value.substr(bar + 3);
            for (std::size_t at; (at = s.text.find("\\n")) != std::string::npos;)
                s.text.replace(at, 2, "\n");
        } else if (key == "record") {
            s.recordPort = value == "none" ? 0 : PortNumber(value);
            if (value != "none" && s.recordPort == 0)
                s.problem = where;
        } else if (key == "status") {
            const std::size_t space = value.find(' ');
            s.statusLines.insert("10," + value.substr(0, space) + ": " + value.substr(space + 1));
        } else if (key == "id") {
            const std::size_t space = value.find(' ');
            const int port = PortNumber(value.substr(0, space));
            if (port == 0 || space == std::string::npos)
                s.problem = where;
            else
                s.ids[port] = value.substr(space + 1);
        } else {
            s.problem = where;
        }
    }
    return scenarios;
}

// The table's names for IDs, as bytes.
std::string ExpectedId(const std::string& written) {
    if (written == "factory")
        return QxPrinterFactoryId;
    if (written == "new")
        return qxtest::ListedExpectedId();
    if (written == "new+1")
        return qxtest::ListedRecord().substr(10, 116);
    return written;
}

class RoadScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(RoadScenario, MeetsTheSharedExpectations) {
    const Scenario& s = GetParam();
    ASSERT_TRUE(s.problem.empty()) << "e2e/scenarios.txt cannot be read at " << s.problem;
    const sim::ParsedOptions parsed = sim::ParseOptions(s.options);
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    const sim::Outcome o = sim::RunFresh(parsed.setup);
    const std::string seen = qxtest::Describe(o);

    EXPECT_EQ(o.exitCode, 0) << seen;
    EXPECT_FALSE(o.stuck) << seen;
    ASSERT_EQ(o.messageBoxes.size(), 1u) << seen;
    EXPECT_EQ(o.messageBoxes[0].caption, s.caption) << seen;
    EXPECT_EQ(o.messageBoxes[0].text, s.text) << seen;
    EXPECT_EQ(o.messageBoxes[0].owner, "none") << seen;
    EXPECT_EQ(o.messageBoxes[0].type, static_cast<UINT>(MB_OK)) << seen;

    for (int port = 1; port <= sim::PortCount; ++port) {
        const std::string& bytes = o.portBytes[port - 1];
        if (port == s.recordPort)
            EXPECT_EQ(bytes, qxtest::ListedRecord()) << "LPT" << port << "\n" << seen;
        else
            EXPECT_EQ(bytes, "") << "LPT" << port << " should receive nothing\n" << seen;
    }

    const std::set<std::string> visible(o.visibleLines.begin(), o.visibleLines.end());
    EXPECT_EQ(visible, s.statusLines) << seen;

    for (const auto& [port, id] : s.ids)
        EXPECT_EQ(o.printerIds[port - 1], ExpectedId(id)) << "LPT" << port << "\n" << seen;

    const bool nt = parsed.setup.family == sim::Family::NT;
    EXPECT_EQ(qxtest::Find(o.Transcript(), "dialog 101") >= 0, nt)
        << "the port dialog is shown on the NT road only\n"
        << seen;
    EXPECT_TRUE(o.spoolerRunning) << seen;
    EXPECT_FALSE(o.scratchFileLeft) << seen;
}

std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& info) {
    std::string name;
    for (char c : info.param.name)
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, RoadScenario, ::testing::ValuesIn(ReadScenarios()), ScenarioName);

TEST(ScenarioTable, HoldsEveryRoadTheChecksNeed) {
    // Every scenario names its outcome; a table that lost its scenarios would pass vacuously.
    const std::vector<Scenario> scenarios = ReadScenarios();
    ASSERT_FALSE(scenarios.empty()) << "no scenarios in " << QX_SCENARIOS;
    for (const Scenario& s : scenarios) {
        EXPECT_FALSE(s.options.empty()) << s.name;
        EXPECT_FALSE(s.caption.empty()) << s.name;
        EXPECT_FALSE(s.statusLines.empty()) << s.name;
    }
}

} // namespace
