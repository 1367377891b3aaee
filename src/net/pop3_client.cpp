#include "net/pop3_client.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QUrl>
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <limits>

namespace tavu {

namespace {

constexpr std::uint16_t kPlainPort = 110;
constexpr std::uint16_t kTlsPort = 995;
// Lines of a CAPA answer read before giving up on finding STLS.
constexpr int kMaxCapaLines = 100;

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// An optionally signed decimal number after leading blanks; 0 without digits. It saturates
// instead of overflowing.
std::int64_t readNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        const int digit = s[i] - '0';
        value = value > (kLimit - digit) / 10 ? kLimit : value * 10 + digit;
    }
    return negative ? -value : value;
}

// The certificates OpenSSL's SSL_CERT_FILE names, which Qt does not read by itself.
QList<QSslCertificate> certificatesOfCertFile() {
    const char* file = std::getenv("SSL_CERT_FILE");
    if (file == nullptr || *file == '\0') {
        return {};
    }
    QFile f(QString::fromLocal8Bit(file));
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QSslCertificate::fromData(f.readAll(), QSsl::Pem);
}

// A host name in the form certificates are compared in: ASCII (punycode), lower case, without
// a final dot.
QString comparableName(const QString& name) {
    QString ace = QString::fromLatin1(QUrl::toAce(name)).toLower();
    if (ace.isEmpty()) {
        ace = name.toLower();  // not a valid name; then it matches nothing but itself
    }
    if (ace.endsWith(QLatin1Char('.'))) {
        ace.chop(1);
    }
    return ace;
}

// A DNS name of a certificate against the host: equal, or a wildcard "*" as the whole first
// label standing for exactly one label of a name that has at least two more.
bool dnsNameMatches(const QString& pattern, const QString& host) {
    const QString p = comparableName(pattern);
    if (p.isEmpty() || host.isEmpty()) {
        return false;
    }
    if (!p.startsWith(QLatin1String("*."))) {
        return !p.contains(QLatin1Char('*')) && p == host;
    }
    const QString rest = p.mid(1);  // ".example.org"
    if (rest.contains(QLatin1Char('*')) || rest.count(QLatin1Char('.')) < 2) {
        return false;
    }
    const qsizetype firstDot = host.indexOf(QLatin1Char('.'));
    return firstDot > 0 && host.mid(firstDot) == rest && !host.startsWith(QLatin1String("xn--"));
}

}  // namespace

bool alternativeNamesAllow(const QSslCertificate& certificate, const QString& host) {
    const auto names = certificate.subjectAlternativeNames();
    const QList<QString> dns = names.values(QSsl::AlternativeNameEntryType::DnsEntry);
    const QList<QString> addresses = names.values(QSsl::AlternativeNameEntryType::IpAddressEntry);
    if (dns.isEmpty() && addresses.isEmpty()) {
        return true;  // no alternative names: the common name, which Qt checked, stands
    }
    const QHostAddress address(host);
    if (!address.isNull()) {
        return std::any_of(addresses.begin(), addresses.end(), [&](const QString& a) {
            return QHostAddress(a).isEqual(address, QHostAddress::StrictConversion);
        });
    }
    const QString name = comparableName(host);
    return std::any_of(dns.begin(), dns.end(),
                       [&](const QString& pattern) { return dnsNameMatches(pattern, name); });
}

MailSecurity parseMailSecurity(std::string_view text) {
    text = trimmed(text);
    if (equalsNoCase(text, "tls")) {
        return MailSecurity::Tls;
    }
    if (equalsNoCase(text, "none")) {
        return MailSecurity::None;
    }
    return MailSecurity::StartTls;
}

const char* mailSecurityName(MailSecurity security) {
    switch (security) {
        case MailSecurity::Tls:
            return "tls";
        case MailSecurity::None:
            return "none";
        case MailSecurity::StartTls:
            break;
    }
    return "starttls";
}

MailServerAddress parseMailServer(std::string_view text, MailSecurity security) {
    text = trimmed(text);
    MailServerAddress a;
    a.port = security == MailSecurity::Tls ? kTlsPort : kPlainPort;
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close != std::string_view::npos) {
            host = text.substr(1, close - 1);
            if (close + 1 < text.size() && text[close + 1] == ':') {
                port = text.substr(close + 2);
            }
        }
    } else if (const auto colon = text.rfind(':');
               colon != std::string_view::npos && text.find(':') == colon) {
        host = text.substr(0, colon);  // one colon: host:port (more: a bare IPv6 address)
        port = text.substr(colon + 1);
    }
    if (!port.empty() &&
        std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const std::int64_t p = readNumber(port);
        if (p >= 1 && p <= 65535) {
            a.port = static_cast<std::uint16_t>(p);
        }
    }
    a.host = std::string(host);
    return a;
}

StatNumbers parseStatReply(std::string_view reply) {
    StatNumbers n;
    int found = 0;
    for (std::size_t i = 0; i < reply.size() && found < 2; ++i) {
        if (isBlank(reply[i])) {
            (found == 0 ? n.count : n.size) = readNumber(reply.substr(i));
            ++found;
        }
    }
    return n;
}

bool isErrReply(std::string_view reply) {
    return reply.substr(0, 4) == "-ERR";
}

CPop3Client::CPop3Client(MailSecurity security, std::chrono::milliseconds timeout)
    : security_(security), timeout_(timeout), socket_(std::make_unique<QSslSocket>()) {}

CPop3Client::~CPop3Client() {
    socket_->abort();  // no QUIT: the connection is simply closed
}

bool CPop3Client::fail(const char* text) {
    error_ = text;
    return false;
}

bool CPop3Client::Login(const std::string& server, const std::string& user,
                        const std::string& password) {
    if (!connectToServer(server)) {
        return false;
    }
    const auto greeting = readReply();
    if (!greeting || isErrReply(*greeting)) {
        return fail("Bad Connection");
    }
    if (security_ == MailSecurity::StartTls && !startTls()) {
        return false;
    }
    return exchange("USER " + user, "Bad User Name") &&
           exchange("PASS " + password, "Bad Password Name");
}

bool CPop3Client::Stat() {
    // The blank before the line end belongs to the command as servers have always seen it.
    if (!exchange("STAT ", "Error occured during STAT")) {
        return false;
    }
    const StatNumbers n = parseStatReply(lastReply_);
    count_ = n.count;
    size_ = n.size;
    return true;
}

bool CPop3Client::connectToServer(const std::string& server) {
    const MailServerAddress address = parseMailServer(server, security_);
    deadline_ = QDeadlineTimer(timeout_.count());
    if (address.host.empty()) {
        return fail("Server cannot be connected");
    }
    host_ = address.host;
    const QString host = QString::fromStdString(address.host);
    if (security_ != MailSecurity::None) {
        if (!QSslSocket::supportsSsl()) {
            return fail("TLS is not available");
        }
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        if (const QList<QSslCertificate> extra = certificatesOfCertFile(); !extra.isEmpty()) {
            // Naming trusted certificates turns off Qt's loading of the system's on demand.
            config.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
        }
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        socket_->setSslConfiguration(config);
    }
    if (security_ == MailSecurity::Tls) {
        socket_->connectToHostEncrypted(host, address.port);
        if (!socket_->waitForEncrypted(msLeft())) {
            return fail("Server cannot be connected");
        }
        return certificateNamesServer();
    }
    socket_->connectToHost(host, address.port);
    if (!socket_->waitForConnected(msLeft())) {
        return fail("Server cannot be connected");
    }
    return true;
}

bool CPop3Client::startTls() {
    if (!sendCommand("CAPA")) {
        return fail("No STLS");
    }
    auto line = readReply();
    if (!line || line->substr(0, 3) != "+OK") {
        return fail("No STLS");
    }
    bool offered = false;
    for (int i = 0; i < kMaxCapaLines; ++i) {
        line = readReply();
        if (!line || line->empty()) {
            return fail("No STLS");  // silence or a closed connection before the end
        }
        const std::string_view capability = trimmed(*line);
        if (capability == ".") {
            break;
        }
        offered = offered || equalsNoCase(capability, "STLS");
    }
    if (!offered || !sendCommand("STLS")) {
        return fail("No STLS");
    }
    line = readReply();
    if (!line || line->substr(0, 3) != "+OK") {
        return fail("No STLS");
    }
    if (!buffer_.empty() || socket_->bytesAvailable() > 0) {
        // Plain text sent after the answer to STLS would pass for part of the protected talk.
        return fail("No STLS");
    }
    socket_->startClientEncryption();
    if (!socket_->waitForEncrypted(msLeft())) {
        return fail("TLS handshake failed");
    }
    return certificateNamesServer();
}

bool CPop3Client::certificateNamesServer() {
    if (!alternativeNamesAllow(socket_->peerCertificate(), QString::fromStdString(host_))) {
        socket_->abort();
        return fail("The certificate names other hosts");
    }
    return true;
}

bool CPop3Client::sendCommand(const std::string& command) {
    const std::string line = command + "\r\n";
    if (line.size() > kMaxCommand) {
        return false;  // never sent cut
    }
    socket_->write(line.data(), static_cast<qint64>(line.size()));
    if (socket_->state() == QAbstractSocket::ConnectedState) {
        socket_->waitForBytesWritten(msLeft());
    }
    return true;
}

std::optional<std::string> CPop3Client::readReply() {
    for (;;) {
        if (skipLineRest_ && !buffer_.empty()) {
            // The rest of a line longer than a reply: dropped, so the next reply is the next line.
            const auto end = buffer_.find('\n');
            buffer_.erase(0, end == std::string::npos ? end : end + 1);
            skipLineRest_ = end == std::string::npos;
        }
        const auto end = buffer_.find('\n');
        if (end != std::string::npos && end < kMaxReply) {
            std::string line = buffer_.substr(0, end + 1);
            buffer_.erase(0, end + 1);
            return line;
        }
        if (buffer_.size() >= kMaxReply) {
            std::string line = buffer_.substr(0, kMaxReply);
            buffer_.erase(0, kMaxReply);
            skipLineRest_ = true;
            return line;
        }
        if (socket_->bytesAvailable() > 0) {
            const QByteArray data = socket_->read(static_cast<qint64>(kMaxReply));
            buffer_.append(data.constData(), static_cast<std::size_t>(data.size()));
            continue;
        }
        if (socket_->state() != QAbstractSocket::ConnectedState) {
            return takeRest();  // the peer closed: what came is the reply
        }
        if (deadline_.hasExpired()) {
            return std::nullopt;
        }
        if (!socket_->waitForReadyRead(msLeft()) && socket_->bytesAvailable() == 0 &&
            socket_->state() == QAbstractSocket::ConnectedState) {
            if (deadline_.hasExpired()) {
                return std::nullopt;
            }
            if (socket_->error() != QAbstractSocket::SocketTimeoutError) {
                return takeRest();  // the receive failed: as if closed
            }
        }
    }
}

std::optional<std::string> CPop3Client::takeRest() {
    std::string rest = std::move(buffer_);
    buffer_.clear();
    if (rest.empty()) {
        return std::nullopt;
    }
    return rest;
}

int CPop3Client::msLeft() const {
    return static_cast<int>(std::min<qint64>(deadline_.remainingTime(), INT_MAX));
}

bool CPop3Client::exchange(const std::string& command, const char* errorText) {
    if (!sendCommand(command)) {
        return fail(errorText);
    }
    auto reply = readReply();
    if (!reply || isErrReply(*reply)) {
        return fail(errorText);
    }
    lastReply_ = std::move(*reply);
    return true;
}

}  // namespace tavu
