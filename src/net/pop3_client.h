#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <QDeadlineTimer>

class QSslCertificate;
class QSslSocket;
class QString;

namespace tavu {

// How the mailbox is reached: the plain exchange on port 110, POP3 switched to TLS by STLS on
// port 110, or POP3 inside TLS on port 995.
enum class MailSecurity { StartTls, Tls, None };

// "starttls" (also anything unknown or empty), "tls" or "none", without regard to case.
MailSecurity parseMailSecurity(std::string_view text);
const char* mailSecurityName(MailSecurity security);

// The server's host name or address with its port: "host" or "host:port" ("[::1]:port" for an
// IPv6 address). Without a port, or with one that is not 1 to 65535, the security's port.
struct MailServerAddress {
    std::string host;
    std::uint16_t port = 110;
};
MailServerAddress parseMailServer(std::string_view text, MailSecurity security);

// The first (message count) and second (mailbox size) numbers of a STAT reply: the scan starts
// at the first blank or tab, reads an optionally signed decimal number after leading blanks, and
// does the same at the second blank or tab. Missing numbers read 0; numbers too large for 64
// bits read as the largest.
struct StatNumbers {
    std::int64_t count = 0;
    std::int64_t size = 0;
};
StatNumbers parseStatReply(std::string_view reply);

// Whether a certificate that passed the usual checks names the host the way RFC 6125 wants:
// where its subjectAltName holds host names or addresses, only they count and the subject's
// common name does not. (Qt also accepts a common name beside alternative names for others.)
bool alternativeNamesAllow(const QSslCertificate& certificate, const QString& host);

// A reply fails only when its first four characters are exactly "-ERR".
bool isErrReply(std::string_view reply);

// One mailbox check's connection. It blocks on the calling thread; the whole exchange (the
// connection, the TLS handshake, every reply) has one deadline, `timeout` after the connection
// attempt starts. The connection closes with the object, without QUIT.
class CPop3Client {
  public:
    static constexpr std::size_t kMaxReply = 1000;   // bytes of one reply line
    static constexpr std::size_t kMaxCommand = 512;  // bytes of one command, line end included

    explicit CPop3Client(MailSecurity security = MailSecurity::StartTls,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));
    ~CPop3Client();
    CPop3Client(const CPop3Client&) = delete;
    CPop3Client& operator=(const CPop3Client&) = delete;

    // Connect, read the greeting (with starttls: CAPA and STLS), send USER and PASS.
    bool Login(const std::string& server, const std::string& user, const std::string& password);
    // Send STAT and read the count from its reply.
    bool Stat();

    std::int64_t GetMessageCount() const { return count_; }
    std::int64_t mailboxSize() const { return size_; }
    // Why the last step failed; for diagnosis only.
    const std::string& errorText() const { return error_; }

  private:
    bool connectToServer(const std::string& server);
    bool startTls();
    // After the TLS handshake: false when the certificate's alternative names leave the host out.
    bool certificateNamesServer();
    bool fail(const char* text);
    // Sends "<command>\r\n" whole; false (nothing sent) when it does not fit kMaxCommand.
    bool sendCommand(const std::string& command);
    // One reply line, up to its line end or its first kMaxReply bytes (the rest of a longer line
    // is dropped); what came when the peer closed. nullopt when the deadline passed first or the
    // peer closed without a reply: silence is no answer.
    std::optional<std::string> readReply();
    // The bytes left when the connection ended; nullopt when there are none.
    std::optional<std::string> takeRest();
    // Milliseconds to the deadline, for Qt's waits.
    int msLeft() const;
    // A command and its reply; false on a time-out or a "-ERR" reply.
    bool exchange(const std::string& command, const char* errorText);

    MailSecurity security_;
    std::chrono::milliseconds timeout_;
    QDeadlineTimer deadline_;  // of the whole exchange, from the connection attempt
    std::unique_ptr<QSslSocket> socket_;
    std::string host_;       // the server's host name or address, as the certificate must name it
    std::string buffer_;     // bytes received and not yet taken as a reply
    std::string lastReply_;  // the reply to the last exchange
    bool skipLineRest_ = false;  // the last reply was cut at kMaxReply
    std::string error_;
    std::int64_t count_ = 0;
    std::int64_t size_ = 0;
};

}  // namespace tavu
