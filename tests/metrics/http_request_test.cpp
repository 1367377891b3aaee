#include "metrics/http_request.h"

#include <gtest/gtest.h>

namespace tavu {
namespace {

using State = HttpRequest::State;

std::string answer(std::string_view request) {
    return answerRequest(parseRequest(request), [] { return std::string("tavu_up 1\n"); });
}

std::string statusLine(const std::string& answer) {
    return answer.substr(0, answer.find("\r\n"));
}

TEST(HttpRequest, PrometheusScrapeIsServedWithTheExpositionContentType) {
    const std::string a = answer(
        "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1:9817\r\nUser-Agent: Prometheus/2.42.0\r\n"
        "Accept: text/plain;version=0.0.4;q=1,*/*;q=0.1\r\nAccept-Encoding: gzip\r\n\r\n");
    EXPECT_EQ(a,
              "HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
              "Content-Length: 10\r\nConnection: close\r\n\r\ntavu_up 1\n");
}

TEST(HttpRequest, HeadGetsTheHeadersWithoutTheBody) {
    const std::string a = answer("HEAD /metrics HTTP/1.0\r\n\r\n");
    EXPECT_EQ(statusLine(a), "HTTP/1.1 200 OK");
    EXPECT_NE(a.find("Content-Length: 10\r\n"), std::string::npos);
    EXPECT_EQ(a.substr(a.size() - 4), "\r\n\r\n");
}

TEST(HttpRequest, WaitsForTheEndOfTheHeadHoweverTheBytesArrive) {
    const std::string request = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
    for (std::size_t n = 0; n < request.size(); ++n) {
        EXPECT_EQ(parseRequest(request.substr(0, n)).state, State::Incomplete) << n;
    }
    EXPECT_EQ(parseRequest(request).state, State::Complete);
}

TEST(HttpRequest, LoneLineFeedsEndLinesToo) {
    const HttpRequest r = parseRequest("GET /metrics HTTP/1.0\nHost: x\n\n");
    EXPECT_EQ(r.state, State::Complete);
    EXPECT_EQ(r.target, "/metrics");
}

TEST(HttpRequest, NoLineEndWithinTheLimitIsTooLarge) {
    // A request line of 1 MB, and 8 KB with no line end at all.
    const std::string huge = "GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n";
    EXPECT_EQ(parseRequest(huge).state, State::TooLarge);
    EXPECT_EQ(statusLine(answer(huge)), "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_EQ(parseRequest(std::string(kMaxRequestBytes, 'x')).state, State::TooLarge);
    EXPECT_EQ(parseRequest(std::string(kMaxRequestBytes - 1, 'x')).state, State::Incomplete);
}

TEST(HttpRequest, HeadersThatNeverEndAreTooLarge) {
    std::string request = "GET /metrics HTTP/1.1\r\n";
    while (request.size() < kMaxRequestBytes) {
        request += "X-Filler: 0123456789abcdef\r\n";
    }
    EXPECT_EQ(parseRequest(request).state, State::TooLarge);
    // The same head ended just inside the limit is read.
    std::string fits = "GET /metrics HTTP/1.1\r\nX: " + std::string(kMaxRequestBytes - 30, 'v');
    fits += "\r\n\r\n";
    ASSERT_LE(fits.size(), kMaxRequestBytes);
    EXPECT_EQ(parseRequest(fits).state, State::Complete);
}

TEST(HttpRequest, OtherPathsAre404AndOtherMethods405) {
    EXPECT_EQ(statusLine(answer("GET / HTTP/1.1\r\n\r\n")), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(statusLine(answer("GET /metricsx HTTP/1.1\r\n\r\n")), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(statusLine(answer("GET /../tavu.ini HTTP/1.1\r\n\r\n")), "HTTP/1.1 404 Not Found");
    EXPECT_EQ(statusLine(answer("GET http://h/metrics HTTP/1.1\r\n\r\n")),
              "HTTP/1.1 404 Not Found");
    for (const char* method : {"POST", "PUT", "DELETE", "OPTIONS", "TRACE", "CONNECT", "get"}) {
        const std::string a = answer(std::string(method) + " /metrics HTTP/1.1\r\n\r\n");
        EXPECT_EQ(statusLine(a), "HTTP/1.1 405 Method Not Allowed") << method;
        EXPECT_NE(a.find("Allow: GET, HEAD\r\n"), std::string::npos);
        EXPECT_EQ(a.find("tavu_up"), std::string::npos);
    }
}

TEST(HttpRequest, AQueryAfterThePathIsServed) {
    EXPECT_EQ(statusLine(answer("GET /metrics?name[]=tavu_up HTTP/1.1\r\n\r\n")),
              "HTTP/1.1 200 OK");
}

TEST(HttpRequest, MalformedRequestsAre400) {
    for (const char* bad :
         {"GET /metrics\r\n\r\n", "GET  /metrics HTTP/1.1\r\n\r\n",
          "GET /metrics HTTP/1.1 extra\r\n\r\n", "\x16\x03\x01\x02\x00\n\n",
          "GET /met\x01rics HTTP/1.1\r\n\r\n", "G(T /metrics HTTP/1.1\r\n\r\n",
          "GET /metrics HTTP/1.1\r\nNoColon\r\n\r\n", "GET /metrics HTTP/1.1\r\n folded: x\r\n\r\n",
          "GET /metrics HTTP/1.1\r\nX: a\x01z\r\n\r\n", "GET /metrics HTTX/1.1\r\n\r\n"}) {
        EXPECT_EQ(statusLine(answer(bad)), "HTTP/1.1 400 Bad Request") << bad;
    }
    EXPECT_EQ(statusLine(answer("GET /metrics HTTP/2.0\r\n\r\n")),
              "HTTP/1.1 505 HTTP Version Not Supported");
}

TEST(HttpRequest, TheTextIsAskedOnlyForARequestThatGetsIt) {
    int asked = 0;
    const auto text = [&] {
        ++asked;
        return std::string();
    };
    answerRequest(parseRequest("POST /metrics HTTP/1.1\r\n\r\n"), text);
    answerRequest(parseRequest("GET /x HTTP/1.1\r\n\r\n"), text);
    EXPECT_EQ(asked, 0);
    answerRequest(parseRequest("GET /metrics HTTP/1.1\r\n\r\n"), text);
    EXPECT_EQ(asked, 1);
}

}  // namespace
}  // namespace tavu
