#include "metrics/http_request.h"

#include "metrics/exposition.h"

namespace tavu {

namespace {

// A character of a token (RFC 9110): method and header names.
bool isTokenChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
        return true;
    }
    switch (c) {
        case '!':
        case '#':
        case '$':
        case '%':
        case '&':
        case '\'':
        case '*':
        case '+':
        case '-':
        case '.':
        case '^':
        case '_':
        case '`':
        case '|':
        case '~':
            return true;
        default:
            return false;
    }
}

bool isToken(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    for (const char c : s) {
        if (!isTokenChar(c)) {
            return false;
        }
    }
    return true;
}

// A request target holds visible ASCII only.
bool isTarget(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F) {
            return false;
        }
    }
    return true;
}

// The next line of the head from `pos`, without its CR LF or LF; false when it has not ended.
bool nextLine(std::string_view head, std::size_t& pos, std::string_view& line) {
    const std::size_t lf = head.find('\n', pos);
    if (lf == std::string_view::npos) {
        return false;
    }
    std::size_t end = lf;
    if (end > pos && head[end - 1] == '\r') {
        --end;
    }
    line = head.substr(pos, end - pos);
    pos = lf + 1;
    return true;
}

const char* reasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 431:
            return "Request Header Fields Too Large";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Error";
    }
}

}  // namespace

HttpRequest parseRequest(std::string_view received) {
    HttpRequest r;
    // Only what lies within the limit counts: the end of the head must come in it.
    const std::string_view head = received.substr(0, kMaxRequestBytes);
    const bool overLimit = received.size() >= kMaxRequestBytes;
    std::size_t pos = 0;
    std::string_view line;
    // Empty lines before the request line are skipped, as RFC 9112 allows.
    do {
        if (!nextLine(head, pos, line)) {
            r.state = overLimit ? HttpRequest::State::TooLarge : HttpRequest::State::Incomplete;
            return r;
        }
    } while (line.empty() && pos < 64);
    const std::size_t sp1 = line.find(' ');
    const std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != std::string_view::npos) {
        r.state = HttpRequest::State::Bad;
        return r;
    }
    const std::string_view method = line.substr(0, sp1);
    const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = line.substr(sp2 + 1);
    if (!isToken(method) || !isTarget(target)) {
        r.state = HttpRequest::State::Bad;
        return r;
    }
    if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || version[6] != '.' ||
        version[5] < '0' || version[5] > '9' || version[7] < '0' || version[7] > '9') {
        r.state = HttpRequest::State::Bad;
        return r;
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        r.state = HttpRequest::State::BadVersion;
        return r;
    }
    // Header lines up to the empty line: each a name, a colon and a value.
    for (;;) {
        if (!nextLine(head, pos, line)) {
            r.state = overLimit ? HttpRequest::State::TooLarge : HttpRequest::State::Incomplete;
            return r;
        }
        if (line.empty()) {
            break;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
            r.state = HttpRequest::State::Bad;  // also a folded line, which starts with a blank
            return r;
        }
        for (const char c : line.substr(colon + 1)) {
            const auto u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t') || u == 0x7F) {
                r.state = HttpRequest::State::Bad;
                return r;
            }
        }
    }
    r.state = HttpRequest::State::Complete;
    r.method = std::string(method);
    r.target = std::string(target);
    return r;
}

HttpVerdict judgeRequest(const HttpRequest& r) {
    switch (r.state) {
        case HttpRequest::State::Complete:
            break;
        case HttpRequest::State::TooLarge:
            return {431};
        case HttpRequest::State::BadVersion:
            return {505};
        default:
            return {400};
    }
    const std::string_view target = r.target;
    if (target.substr(0, target.find('?')) != "/metrics") {
        return {404};
    }
    if (r.method == "GET") {
        return {200};
    }
    if (r.method == "HEAD") {
        return {200, true};
    }
    return {405};
}

std::string formatAnswer(const HttpVerdict& verdict, std::string_view body) {
    std::string text;
    if (verdict.status != 200) {
        text = std::string(reasonOf(verdict.status)) + "\n";
        body = text;
    }
    std::string out = "HTTP/1.1 " + std::to_string(verdict.status) + ' ' + reasonOf(verdict.status);
    out += "\r\nContent-Type: ";
    out += verdict.status == 200 ? kExpositionContentType : "text/plain; charset=utf-8";
    out += "\r\nContent-Length: " + std::to_string(body.size());
    if (verdict.status == 405) {
        out += "\r\nAllow: GET, HEAD";
    }
    out += "\r\nConnection: close\r\n\r\n";
    if (!verdict.head) {
        out += body;
    }
    return out;
}

}  // namespace tavu
