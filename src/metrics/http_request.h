#pragma once

// The little HTTP the metrics endpoint speaks: one request a connection, read whole before it is
// answered, then the connection is closed. Everything here works on the bytes received so far,
// so that a client that sends its request a byte at a time, or sends far too much, is judged on
// what has arrived.

#include <cstddef>
#include <string>
#include <string_view>

namespace tavu {

// The most of a request that is read: the request line and its header lines together.
inline constexpr std::size_t kMaxRequestBytes = 8192;

struct HttpRequest {
    enum class State {
        Incomplete,  // the head has not ended yet: wait for more
        Complete,
        TooLarge,    // no end of the head within kMaxRequestBytes
        Bad,         // not a request line, or a header line that is none
        BadVersion,  // an HTTP version other than 1.0 and 1.1
    };
    State state = State::Incomplete;
    std::string method;
    std::string target;  // as sent: the path and any query
};

// Judges the bytes received so far. Lines end in CR LF, or in a lone LF; the head ends at the
// first empty line. A body is never read.
HttpRequest parseRequest(std::string_view received);

// The answer to a request: the status line, the headers (Connection: close, a Content-Length)
// and, for GET, the body. Only GET and HEAD of /metrics (with or without a query) are served;
// another path is 404, another method on it 405, and a request that cannot be read 400, 431 or
// 505. metrics() gives the text; it is called only for a request that gets it.
template <class MetricsText>
std::string answerRequest(const HttpRequest& request, MetricsText&& metrics);

// The parts of answerRequest that need no text.
struct HttpVerdict {
    int status = 400;
    bool head = false;  // HEAD: no body
};
HttpVerdict judgeRequest(const HttpRequest& request);
std::string formatAnswer(const HttpVerdict& verdict, std::string_view body);

template <class MetricsText>
std::string answerRequest(const HttpRequest& request, MetricsText&& metrics) {
    const HttpVerdict verdict = judgeRequest(request);
    if (verdict.status != 200) {
        return formatAnswer(verdict, {});
    }
    const std::string text = metrics();
    return formatAnswer(verdict, text);
}

}  // namespace tavu
