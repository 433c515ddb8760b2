// The remote console's page in headless Chromium, end to end: the service mode serves it on the loopback
// address while it runs against the game simulator, the page shows the game's players and votes under the
// program's Content-Security-Policy, its Punt button has the player punted by the processing tick, and a
// refused token is asked for again. Real time, some ten seconds a test.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "e2e/e2e_support.h"
#include "e2e/headless_chromium.h"

namespace {

using nlohmann::json;

// Seconds for one step: starting the browser, a page's first poll, a punt's console keys.
constexpr int kPatience = 40;
// With the '+', '/' and '=' of a base64 token, which the page must take from its address unchanged.
const std::string kToken = "remote+page/test=token-2718281828";

// Ann votes against Bob once, too few to punt him; Eve's name looks like markup.
const char* const kScenario =
    "0 join 0 Ann\n0 join 1 Cy\n0 join 2 Dee\n0 join 3 Bob\n0 join 4 <i>Eve</i>\n1.0 say 0 /vote 3\n";

const char* const kNames =
    "[...document.querySelectorAll('#players tr')].map(row => row.cells[1].textContent)";
const char* const kBobsVotes = "document.querySelectorAll('#players tr')[3].cells[2].textContent";

std::string lines(const std::vector<std::string>& all) {
  std::string text;
  for (const std::string& line : all)
    text += line + "\n";
  return text;
}

class RemotePageTest : public OnXvfbTest {
 protected:
  void SetUp() override {
    OnXvfbTest::SetUp();
    if (std::string(ZARN_CHROMIUM).empty())
      GTEST_SKIP() << "chromium is not installed (Debian package chromium)";
    game_ = std::make_unique<GameSimProcess>(ZARN_GAME_SIM_PATH, kScenario);
    ASSERT_FALSE(game_->waitForStart("START").empty());
    const int port = freePort();
    ASSERT_NE(0, port);
    const std::string listen = "127.0.0.1:" + std::to_string(port);
    service_ = std::make_unique<ServiceProcess>(
        ZARN_VOTE_PATH,
        programFolder(settingsFor(game_->title(), "",
                                  "[Remote]\r\nListen=" + listen + "\r\nToken=" + kToken + "\r\n", "1000")),
        std::vector<std::string>{"--headless"});
    ASSERT_TRUE(service_->waitForOutput("Remote console listening on " + listen, kPatience))
        << service_->output();
    page_ = "http://" + listen + "/";
  }

  std::unique_ptr<GameSimProcess> game_;
  std::unique_ptr<ServiceProcess> service_;
  std::string page_;
};

TEST_F(RemotePageTest, TheTokenInTheAddressShowsTheGameLiveAndPuntPuntsTheChosenPlayer) {
  HeadlessChromium browser(ZARN_CHROMIUM);
  ASSERT_TRUE(browser.open(page_ + "#token=" + kToken)) << browser.problem();

  // The chat tick counts Ann's vote before the slower processing tick reads the names on a loaded
  // machine, so the page may show the vote under an empty row for a moment: wait for both.
  ASSERT_TRUE(browser.waitUntil(std::string(kNames) + "[4] === '<i>Eve</i>' && " + kBobsVotes + " === '1'",
                                kPatience))
      << browser.evaluate(kNames) << browser.problem() << service_->output();
  EXPECT_EQ(json({"Ann", "Cy", "Dee", "Bob", "<i>Eve</i>", "", "", "", "", "", "", "", "", "", "", ""}),
            browser.evaluate(kNames));
  EXPECT_EQ(0, browser.evaluate("document.querySelectorAll('#players i').length")) << "a name became markup";
  EXPECT_EQ("Ann: /vote 3", browser.evaluate("document.getElementById('log').textContent"));
  EXPECT_EQ("attached", browser.evaluate("document.getElementById('attached').textContent"));
  EXPECT_EQ(page_, browser.evaluate("location.href")) << "the token stays in the address bar";

  // The operator taps Bob's row, which chooses his number, then Punt.
  browser.evaluate(
      "document.querySelectorAll('#players tr')[3].click(); document.getElementById('punt').click()");
  EXPECT_TRUE(
      browser.waitUntil("document.getElementById('outcome').textContent === 'The player will be punted on "
                        "the next checking cycle.'",
                        kPatience));
  ASSERT_TRUE(game_->waitFor("PUNT 3 Bob", kPatience)) << game_->transcript() << service_->output();
  EXPECT_TRUE(browser.waitUntil(std::string(kNames) + "[3] === '' && " + kBobsVotes + " === '0'", kPatience))
      << "the page did not follow the game: " << browser.evaluate(kNames);
  EXPECT_EQ(1, game_->count("COMMAND punt 3"));
  expectNoGameFaults(*game_);
  // Nothing refused by the Content-Security-Policy, no failed request, no script error.
  EXPECT_EQ("", lines(browser.errors()));
}

TEST_F(RemotePageTest, ARefusedTokenIsAskedForAgainAndTheOneEnteredStaysWithTheTab) {
  HeadlessChromium browser(ZARN_CHROMIUM);
  ASSERT_TRUE(browser.open(page_ + "#token=not-the-token-of-this-console")) << browser.problem();

  ASSERT_TRUE(
      browser.waitUntil("!document.getElementById('login').hidden && "
                        "document.getElementById('login-why').textContent.includes('401')",
                        kPatience))
      << browser.problem();
  EXPECT_EQ(true, browser.evaluate("document.getElementById('console').hidden"));
  EXPECT_EQ(nullptr, browser.evaluate("sessionStorage.getItem('zarn-vote-token')"));

  browser.evaluate("document.getElementById('token').value = '" + kToken +
                   "'; document.getElementById('login').requestSubmit()");
  ASSERT_TRUE(browser.waitUntil(std::string(kNames) + "[0] === 'Ann'", kPatience)) << browser.problem();
  EXPECT_EQ(true, browser.evaluate("document.getElementById('login').hidden"));

  // A reload finds the token in the tab's storage and asks for nothing.
  browser.evaluate("location.reload()");
  EXPECT_TRUE(browser.waitUntil("performance.getEntriesByType('navigation')[0].type === 'reload' && " +
                                    std::string(kNames) + "[0] === 'Ann'",
                                kPatience))
      << browser.problem();
  // The one error is the refused request.
  for (const std::string& error : browser.errors())
    EXPECT_NE(std::string::npos, error.find("401")) << error;
}

}  // namespace
