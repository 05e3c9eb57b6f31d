// lyr.gaussian through the embedded host: outlets, argument types and storage.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "embedded_host.h"

namespace {

using lyrhost::Event;
using lyrhost::Host;

class GaussianBinding : public ::testing::Test {
protected:
    GaussianBinding() {
        host.create("g", "lyr.gaussian");
        host.take_events();  // the banner, when the module is first loaded
    }
    std::vector<std::string> lines() { return host.take_lines(); }
    Host host;
};

using Lines = std::vector<std::string>;

TEST_F(GaussianBinding, IntegersAndFloatsAlikeOnEveryInlet) {
    struct Case {
        int inlet;
        const char* message;
        Lines expected;
    };
    const Case cases[] = {
        {0, "1", {"g:0 float 0.241970718"}},  {0, "1.", {"g:0 float 0.241970718"}},
        {1, "3", {"g:1 float 7.06446028"}},   {1, "3.", {"g:1 float 7.06446028"}},
        {2, "2", {}},                         {2, "2.", {}},
        {0, "2", {"g:0 float 0.132980764"}},  // the peak now at 2 for sigma 3
        {1, "0", {"g:1 float 7.06446028"}},   {1, "-0.5", {"g:1 float 7.06446028"}},
    };
    for (const Case& c : cases) {
        host.send("g", c.inlet, c.message);
        EXPECT_EQ(lines(), c.expected) << c.inlet << ": " << c.message;
    }
}

// The parameters are kept in single precision: 16777217 is stored as 16777216,
// so an input of 16777217 lies one unit from the mean.
TEST_F(GaussianBinding, ParametersAreStoredInSinglePrecision) {
    host.send("g", 2, "16777217");
    host.send("g", 0, "16777217");
    EXPECT_EQ(lines(), Lines{"g:0 float 0.241970718"});
    host.create("c", "lyr.gaussian", "1 16777217");
    host.send("c", 0, "16777217");
    EXPECT_EQ(lines(), Lines{"c:0 float 0.241970718"});
}

TEST_F(GaussianBinding, CreationArgumentsOfOtherTypesKeepTheDefaults) {
    host.create("a", "lyr.gaussian", "foo bar");
    host.create("b", "lyr.gaussian", "2 5 9 12");  // arguments past the second are ignored
    host.create("c", "lyr.gaussian", "0 -3.5");
    host.send("a", 0, "0");
    host.send("b", 0, "5");
    host.send("c", 0, "-3.5");
    EXPECT_EQ(lines(), (Lines{"a:0 float 0.398942262", "b:0 float 0.199471131", "c:0 float 0.398942262"}));
}

TEST_F(GaussianBinding, TakesNoSymbolsOrLists) {
    host.send("g", 0, "1 2");
    host.send("g", 1, "list 4 5");
    host.send("g", 0, "foo");
    host.send("g", 0, "0");
    EXPECT_EQ(lines(), (Lines{"post: lyr.gaussian: doesn't understand \"list\"",
                              "post: lyr.gaussian: doesn't understand \"list\"",
                              "post: lyr.gaussian: doesn't understand \"foo\"", "g:0 float 0.398942262"}));
}

TEST_F(GaussianBinding, AssistTexts) {
    const std::string d = host.describe("lyr.gaussian");
    for (const char* line :
         {"inlet 0 \"Input value (int or float)\"", "inlet 1 \"Standard deviation (int or float)\"",
          "inlet 2 \"Expectation (int or float)\"", "outlet 0 float \"Normal distribution (float)\"",
          "outlet 1 float \"FWHM (float)\""}) {
        EXPECT_NE(d.find(line), std::string::npos) << line << "\n" << d;
    }
}

}  // namespace
