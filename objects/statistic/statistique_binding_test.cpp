// lyr.statistic through the embedded host.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "embedded_host.h"

namespace {

using lyrhost::Event;
using lyrhost::Host;

class StatistiqueBinding : public ::testing::Test {
protected:
    StatistiqueBinding() {
        host.create("s", "lyr.statistic");
        host.take_events();  // the banner, when the module is first loaded
    }
    // The one list the last message sent.
    Event result() {
        std::vector<Event> events = host.take_events();
        EXPECT_EQ(events.size(), 1u);
        return events.empty() ? Event{} : events.front();
    }
    Host host;
};

TEST_F(StatistiqueBinding, EveryOutputAtomIsAFloatWhateverTheInput) {
    const char* messages[] = {"1 2 3 4", "1. 2.5 3", "7", "2.5", "list 7", "list", "list foo bar", "-3 2. foo 9"};
    for (const char* m : messages) {
        SCOPED_TRACE(m);
        host.send("s", 0, m);
        const Event e = result();
        EXPECT_EQ(e.object, "s");
        EXPECT_EQ(e.outlet, 0);
        EXPECT_EQ(e.selector, "list");
        ASSERT_EQ(e.atoms.size(), 8u);
        for (const auto& a : e.atoms) EXPECT_EQ(a.a_type, hostapi::A_FLOAT);
    }
}

// Integers count by their value; symbols carry no number and are left out.
TEST_F(StatistiqueBinding, IntegersCountSymbolsAreLeftOut) {
    host.send("s", 0, "1. 2. 3. 4.");
    const std::vector<double> floats = result().values();
    host.send("s", 0, "1 2 3 4");
    EXPECT_EQ(result().values(), floats);
    host.send("s", 0, "list foo 1 2 bar 3 4 baz");
    EXPECT_EQ(result().values(), floats);

    host.send("s", 0, "list foo");
    for (double v : result().values()) EXPECT_TRUE(std::isnan(v));
}

TEST_F(StatistiqueBinding, BangRepeatsTheLastResult) {
    host.send("s", 0, "bang");
    EXPECT_TRUE(host.take_events().empty()) << "nothing to repeat before the first list";

    host.send("s", 0, "3 1 4 1 5");
    const std::string first = result().line();
    for (int i = 0; i < 3; ++i) {
        host.send("s", 0, "bang");
        EXPECT_EQ(result().line(), first);
    }
    host.send("s", 0, "2 7 1 8");
    const std::string second = result().line();
    EXPECT_NE(second, first);
    host.send("s", 0, "bang");
    EXPECT_EQ(result().line(), second);
}

TEST_F(StatistiqueBinding, ListsTakeNoMemory) {
    std::vector<hostapi::t_atom> atoms(32767);
    for (size_t i = 0; i < atoms.size(); ++i) hostapi::atom_setfloat(&atoms[i], static_cast<double>(i % 97));
    const long before = host.allocation_count();
    host.send("s", 0, "list", atoms);
    EXPECT_EQ(host.allocation_count(), before);
    const std::vector<double> v = result().values();
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[1], 96);
}

TEST_F(StatistiqueBinding, AssistTexts) {
    const std::string d = host.describe("lyr.statistic");
    EXPECT_NE(d.find("inlet 0 \" Input (list)\""), std::string::npos) << d;
    EXPECT_NE(d.find("outlet 0 list \"Statistics (list)\""), std::string::npos) << d;
}

}  // namespace
