// The HTTP API: every endpoint, the token, and bad input refused with nothing stored.
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "fakes.hpp"
#include "gateway.hpp"
#include "http_api.hpp"

namespace quandelstk::gateway::testing {
namespace {

using nlohmann::json;

class HttpTest : public ::testing::Test {
 protected:
  HttpTest() {
    config_.store = "sqlite:" + dir_.path() + "/g.db";
    config_.http.listen = "127.0.0.1:0";
    config_.http.token = "tok-123";
    store_ = OpenStore(config_.store);
    api_ = std::make_unique<HttpApi>(config_, nullptr);
    const auto colon = api_->Address().rfind(':');
    client_ = std::make_unique<httplib::Client>("127.0.0.1", std::stoi(api_->Address().substr(colon + 1)));
    client_->set_bearer_token_auth("tok-123");
  }
  httplib::Result Post(const std::string& body) { return client_->Post("/v1/messages", body, "application/json"); }
  static json Body(const httplib::Result& r) { return json::parse(r->body); }

  TempDir dir_;
  Config config_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<HttpApi> api_;
  std::unique_ptr<httplib::Client> client_;
};

TEST_F(HttpTest, ListensOnTheLoopbackUnlessToldOtherwise) {
  EXPECT_EQ(api_->Address().rfind("127.0.0.1:", 0), 0u);
  Config c = config_;
  c.http.listen = ":0";
  EXPECT_EQ(HttpApi(c, nullptr).Address().rfind("127.0.0.1:", 0), 0u);
}

TEST_F(HttpTest, QueuesAMessageAndShowsIt) {
  const auto r = Post(R"({"to": "+15550100123", "text": "hello 😀", "report": true})");
  ASSERT_TRUE(r);
  ASSERT_EQ(r->status, 201) << r->body;
  const json created = Body(r);
  const std::int64_t id = created["id"];
  EXPECT_EQ(r->get_header_value("Location"), "/v1/messages/" + std::to_string(id));
  EXPECT_EQ(created["state"], "queued");
  EXPECT_EQ(created["parts"], 1);
  const OutgoingRecord stored = *store_->Get(id);
  EXPECT_EQ(stored.text, "hello 😀");
  EXPECT_TRUE(stored.report);

  // Sent and reported by a gateway: the API shows the parts, the reports and the history.
  const auto claim = store_->Claim("gw", "m1", 1, 1000, 1);
  store_->MarkSent(id, claim.at(0).claim_token, {42}, 2);
  store_->AddReport({.modem = "m1", .recipient = "+15550100123", .reference = 42, .status_text = "delivered", .key = "k"});
  const auto g = client_->Get("/v1/messages/" + std::to_string(id));
  ASSERT_EQ(g->status, 200);
  const json shown = Body(g);
  EXPECT_EQ(shown["state"], "delivered");
  EXPECT_EQ(shown["part_records"][0]["reference"], 42);
  EXPECT_EQ(shown["reports"].size(), 1u);
  std::vector<std::string> kinds;
  for (const auto& e : shown["events"]) kinds.push_back(e["kind"]);
  EXPECT_EQ(kinds, (std::vector<std::string>{"queued", "claimed", "sent", "report", "delivered"}));
  // Scheduled for later, the times read in their zones.
  const json later =
      Body(Post(R"({"to": "+15550100123", "text": "later", "at": "2030-01-01T08:00Z", "expires": "2030-01-01T10:00+01:00"})"));
  EXPECT_EQ(later["not_before"], "2030-01-01 08:00:00Z");
  EXPECT_EQ(later["expires"], "2030-01-01 09:00:00Z");
}

struct Refusal {
  const char* name;
  const char* body;
  int status;
  const char* says;
};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class HttpRefusals : public HttpTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(HttpRefusals, AreJsonErrorsAndStoreNothing) {
  const auto r = Post(GetParam().body);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->status, GetParam().status) << r->body;
  const json e = Body(r);
  EXPECT_EQ(e["error"]["status"], GetParam().status);
  EXPECT_NE(e["error"]["message"].get<std::string>().find(GetParam().says), std::string::npos) << r->body;
  EXPECT_TRUE(store_->List("", 10).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Http, HttpRefusals,
    ::testing::Values(Refusal{"NotJson", "to=+1555&text=hi", 400, "not JSON"},
                      Refusal{"NotAnObject", "[1, 2]", 400, "JSON object"},
                      Refusal{"NoNumber", R"({"text": "hi"})", 400, "\"to\""},
                      Refusal{"NumberNotAString", R"({"to": 15550100123, "text": "hi"})", 400, "\"to\""},
                      Refusal{"NoText", R"({"to": "+15550100123"})", 400, "\"text\""},
                      Refusal{"UnknownField", R"({"to": "+15550100123", "text": "hi", "prio": 1})", 400, "prio"},
                      Refusal{"ReportNotBoolean", R"({"to": "+15550100123", "text": "hi", "report": "yes"})", 400,
                              "\"report\""},
                      Refusal{"InvalidNumber", R"({"to": "+1555-0100", "text": "hi"})", 422, "not a phone number"},
                      Refusal{"BadTime", R"({"to": "+15550100123", "text": "hi", "at": "soon"})", 422, "not a time"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HttpTest, TheTokenIsRefusedWhenMissingOrWrongOnEveryEndpoint) {
  httplib::Client c("127.0.0.1", std::stoi(api_->Address().substr(api_->Address().rfind(':') + 1)));
  for (const auto& [authorization, status] : std::vector<std::pair<std::string, int>>{
           {"", 401}, {"Bearer tok-124", 401}, {"Bearer tok-12", 401}, {"Bearer tok-1234", 401},
           {"Basic tok-123", 401}, {"Bearer ", 401}, {"bearer tok-123", 200}, {"BEARER tok-123", 200}}) {
    const httplib::Headers headers =
        authorization.empty() ? httplib::Headers{} : httplib::Headers{{"Authorization", authorization}};
    for (const char* path : {"/v1/inbox", "/v1/modems", "/metrics"}) {
      const auto r = c.Get(path, headers);
      ASSERT_TRUE(r);
      EXPECT_EQ(r->status, status) << authorization << " " << path;
      if (status == 401) {
        EXPECT_TRUE(Body(r)["error"]["message"].is_string());
      }
    }
    if (status != 401) continue;
    EXPECT_EQ(c.Get("/v1/messages/1", headers)->status, 401);
    EXPECT_EQ(c.Post("/v1/messages", headers, R"({"to": "+15550100123", "text": "hi"})", "application/json")->status,
              401);
  }
  EXPECT_TRUE(store_->List("", 10).empty());
}

TEST_F(HttpTest, UnknownMessagesAndEndpoints) {
  EXPECT_EQ(client_->Get("/v1/messages/999")->status, 404);
  EXPECT_EQ(client_->Get("/v1/messages/abc")->status, 400);
  EXPECT_EQ(client_->Get("/v1/messages/-1")->status, 400);
  const auto r = client_->Get("/v2/anything");
  EXPECT_EQ(r->status, 404);
  EXPECT_NE(Body(r)["error"]["message"].get<std::string>().find("/v2/anything"), std::string::npos);
  EXPECT_EQ(client_->Get("/v1/inbox?limit=0")->status, 400);
  EXPECT_EQ(client_->Get("/v1/inbox?limit=ten")->status, 400);
  EXPECT_EQ(client_->Get("/v1/inbox?before=0")->status, 400);
}

// More came in than a page holds: the newest first (or a client polling the inbox never sees new
// replies), and ?before= pages back from it.
TEST_F(HttpTest, InboxNewestFirstPagedBackAndModems) {
  for (int i = 0; i < 101; ++i)
    store_->AddIncoming({.modem = "m1", .from = "+15550100456", .text = i == 99 ? "réponse 👍" : "reply " + std::to_string(i),
                         .parts = i == 99 ? 2 : 1, .received_ms = 1'800'000'000'000 + i, .key = "k" + std::to_string(i)});
  EXPECT_EQ(Body(client_->Get("/v1/inbox"))["messages"][0]["text"], "reply 100");
  const auto r = client_->Get("/v1/inbox?limit=1");
  ASSERT_EQ(r->status, 200);
  const json inbox = Body(r)["messages"];
  ASSERT_EQ(inbox.size(), 1u);
  EXPECT_EQ(inbox[0]["text"], "reply 100");
  const json back = Body(client_->Get("/v1/inbox?limit=2&before=" + inbox[0]["id"].dump()))["messages"];
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0]["text"], "réponse 👍");
  EXPECT_EQ(back[0]["parts"], 2);
  EXPECT_EQ(back[1]["text"], "reply 98");

  store_->PutModem({.name = "m1", .gateway = "gw", .state = "ready", .signal = 17, .operator_name = "Quandel Mobile"});
  const json modems = Body(client_->Get("/v1/modems"))["modems"];
  ASSERT_EQ(modems.size(), 1u);
  EXPECT_EQ(modems[0]["signal"], 17);
  EXPECT_EQ(modems[0]["operator"], "Quandel Mobile");
}

TEST_F(HttpTest, MetricsInThePrometheusTextFormat) {
  store_->Enqueue(Msg("+1555", "x"), 1);
  store_->Enqueue(Msg("+1555", "x"), 1);
  store_->PutModem({.name = "m\"1", .state = "ready", .signal = 12, .errors = 3});
  const auto r = client_->Get("/metrics");
  ASSERT_EQ(r->status, 200);
  EXPECT_EQ(r->get_header_value("Content-Type").rfind("text/plain", 0), 0u);

  SystemClock clock;
  Gateway gateway(config_, clock);
  for (const double s : {0.1, 0.3, 0.3, 3.0, 100.0}) gateway.latency().Observe(s);
  const std::string t = MetricsText(*store_, &gateway);
  for (const std::string family : {"quandelstk_messages gauge", "quandelstk_modem_signal gauge",
                                   "quandelstk_modem_errors_total counter", "quandelstk_modem_up gauge",
                                   "quandelstk_send_seconds histogram"}) {
    EXPECT_NE(t.find("# HELP " + family.substr(0, family.find(' ')) + " "), std::string::npos) << family;
    EXPECT_NE(t.find("# TYPE " + family + "\n"), std::string::npos) << family;
  }
  EXPECT_NE(t.find("quandelstk_messages{state=\"queued\"} 2\n"), std::string::npos) << t;
  EXPECT_NE(t.find("quandelstk_modem_signal{modem=\"m\\\"1\"} 12\n"), std::string::npos) << t;
  EXPECT_NE(t.find("quandelstk_modem_errors_total{modem=\"m\\\"1\"} 3\n"), std::string::npos) << t;
  // Cumulative buckets (0.25, 0.5, 1, 2, 5, 10, 30, 60, +Inf), the last one the count.
  std::istringstream lines(t);
  std::vector<double> buckets;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("quandelstk_send_seconds_bucket{", 0) == 0) buckets.push_back(std::stod(line.substr(line.rfind(' '))));
  EXPECT_EQ(buckets, (std::vector<double>{1, 3, 3, 3, 4, 4, 4, 4, 5})) << t;
  EXPECT_NE(t.find("quandelstk_send_seconds_count 5\n"), std::string::npos) << t;
  EXPECT_NE(t.find("quandelstk_send_seconds_sum 103.7\n"), std::string::npos) << t;
}

}  // namespace
}  // namespace quandelstk::gateway::testing
