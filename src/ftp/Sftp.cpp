#include "ftp/Sftp.h"

#include "base/TempFiles.h"
#include "ftp/FtpTexts.h"

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <vector>

namespace quorvane {

namespace {

constexpr std::size_t kChunk = 256 * 1024;

void InitLibssh2Once() {
    static std::once_flag once;
    std::call_once(once, [] { libssh2_init(0); });
}

std::string DefaultKnownHosts() {
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] != '\0' ? std::string(home) + "/.ssh/known_hosts"
                                              : std::string();
}

int KnownHostKeyType(int hostKeyType) {
    switch (hostKeyType) {
    case LIBSSH2_HOSTKEY_TYPE_RSA:
        return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
    case LIBSSH2_HOSTKEY_TYPE_DSS:
        return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_256:
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_384:
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_521:
        return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
    case LIBSSH2_HOSTKEY_TYPE_ED25519:
        return LIBSSH2_KNOWNHOST_KEY_ED25519;
    default:
        return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
    }
}

// A short reason for an SFTP status the server answered.
TMessage StatusReason(unsigned long status) {
    switch (status) {
    case LIBSSH2_FX_NO_SUCH_FILE:
    case LIBSSH2_FX_NO_SUCH_PATH:
        return Msg(texts::SystemFailure, SystemError(ENOENT));
    case LIBSSH2_FX_PERMISSION_DENIED:
    case LIBSSH2_FX_WRITE_PROTECT:
        return Msg(texts::SystemFailure, SystemError(EACCES));
    case LIBSSH2_FX_NO_SPACE_ON_FILESYSTEM:
        return Msg(texts::ServerDiskFull);
    case LIBSSH2_FX_QUOTA_EXCEEDED:
        return Msg(texts::ServerQuotaExceeded);
    case LIBSSH2_FX_FILE_ALREADY_EXISTS:
        return Msg(texts::RemoteFileExists);
    case LIBSSH2_FX_OP_UNSUPPORTED:
        return Msg(texts::ServerUnsupported);
    case LIBSSH2_FX_NO_CONNECTION:
    case LIBSSH2_FX_CONNECTION_LOST:
        return Msg(texts::ConnectionLost);
    default:
        return Msg(texts::ServerRefusedIt);
    }
}

void PutU32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

void PutString(std::string& out, const std::string& text) {
    PutU32(out, static_cast<std::uint32_t>(text.size()));
    out += text;
}

std::uint32_t GetU32(const std::string& data, size_t& at) {
    if (at + 4 > data.size()) throw EFtpError(Msg(texts::ConnectionLost));
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(data[at + static_cast<size_t>(i)]);
    at += 4;
    return value;
}

std::string GetString(const std::string& data, size_t& at) {
    const std::uint32_t length = GetU32(data, at);
    if (at + length > data.size()) throw EFtpError(Msg(texts::ConnectionLost));
    std::string text = data.substr(at, length);
    at += length;
    return text;
}

} // namespace

// One SSH connection: the socket, the session, the SFTP subsystem through libssh2 and, for the
// extension libssh2 does not speak, a second SFTP channel of our own.
struct TSftpTransport::TSession {
    TSftpTransport& Owner;
    int Socket = -1;
    LIBSSH2_SESSION* Ssh = nullptr;
    LIBSSH2_SFTP* Sftp = nullptr;
    LIBSSH2_CHANNEL* Extension = nullptr; // opened at the first rename
    bool ExtensionAsked = false;
    bool PosixRename = false;
    std::uint32_t NextId = 1;
    std::string Password; // for keyboard-interactive prompts
    bool Abortable = false;
    bool Drop = false; // close without a farewell
    std::chrono::milliseconds Timeout;

    explicit TSession(TSftpTransport& owner)
        : Owner(owner), Timeout(owner.FSettings.Timeout != 0 ? owner.FSettings.Timeout
                                                             : TFtpSettings::kDefaultTimeoutMs) {}

    ~TSession() {
        // A connection dropped (an abort, a failed transfer) says no farewell: with the socket
        // shut, the library frees everything without waiting for the server.
        if (Drop && Socket >= 0) ::shutdown(Socket, SHUT_RDWR);
        if (Ssh != nullptr) {
            // The clean-up calls below finish in one go, each within a short time.
            libssh2_session_set_timeout(Ssh, 2000);
            libssh2_session_set_blocking(Ssh, 1);
            if (Extension != nullptr) libssh2_channel_free(Extension);
            if (Sftp != nullptr) libssh2_sftp_shutdown(Sftp);
            if (!Drop) libssh2_session_disconnect(Ssh, "done");
            libssh2_session_free(Ssh);
        }
        if (Socket >= 0) ::close(Socket);
    }

    // Gives up a file handle and the connection with it: the socket is shut at once, so that
    // the library lets go of the handle's unanswered requests without waiting for the server.
    void DropHandle(LIBSSH2_SFTP_HANDLE* handle) noexcept {
        Drop = true;
        if (Socket >= 0) ::shutdown(Socket, SHUT_RDWR);
        if (handle != nullptr) {
            libssh2_session_set_blocking(Ssh, 1);
            libssh2_sftp_close_handle(handle);
        }
    }

    bool AbortAsked() const { return Abortable && Owner.FHooks.Aborted && Owner.FHooks.Aborted(); }

    // Waits until the socket is ready for what the library needs, or the time-out passes, or an
    // abort is asked for.
    void Wait(short events) {
        const auto deadline = std::chrono::steady_clock::now() + Timeout;
        for (;;) {
            if (AbortAsked()) throw EFtpError(Msg(texts::TransferAborted));
            pollfd p{Socket, events, 0};
            const int ready = ::poll(&p, 1, 100);
            if (ready > 0) return;
            if (ready < 0 && errno != EINTR) throw EFtpError(Msg(texts::ConnectionLost));
            if (std::chrono::steady_clock::now() >= deadline)
                throw EFtpError(Msg(texts::ServerTimedOut));
        }
    }

    void WaitForLibrary() {
        const int directions = libssh2_session_block_directions(Ssh);
        short events = 0;
        if ((directions & LIBSSH2_SESSION_BLOCK_INBOUND) != 0) events |= POLLIN;
        if ((directions & LIBSSH2_SESSION_BLOCK_OUTBOUND) != 0) events |= POLLOUT;
        Wait(events != 0 ? events : POLLIN);
    }

    // Calls `step` again while the library would block; its final result.
    template <class TStep> auto Retry(TStep step) {
        for (;;) {
            auto result = step();
            if constexpr (std::is_pointer_v<decltype(result)>) {
                if (result != nullptr || libssh2_session_last_errno(Ssh) != LIBSSH2_ERROR_EAGAIN)
                    return result;
            } else if (result != LIBSSH2_ERROR_EAGAIN) {
                return result;
            }
            WaitForLibrary();
        }
    }

    // The reason of the last failure: the server's SFTP status, or what became of the session.
    TMessage Reason() {
        const int error = libssh2_session_last_errno(Ssh);
        if (error == LIBSSH2_ERROR_SFTP_PROTOCOL && Sftp != nullptr)
            return StatusReason(libssh2_sftp_last_error(Sftp));
        if (error == LIBSSH2_ERROR_SOCKET_RECV || error == LIBSSH2_ERROR_SOCKET_SEND ||
            error == LIBSSH2_ERROR_SOCKET_DISCONNECT || error == LIBSSH2_ERROR_CHANNEL_CLOSED ||
            error == LIBSSH2_ERROR_CHANNEL_EOF_SENT)
            return Msg(texts::ConnectionLost);
        if (error == LIBSSH2_ERROR_TIMEOUT) return Msg(texts::ServerTimedOut);
        char* text = nullptr;
        libssh2_session_last_error(Ssh, &text, nullptr, 0);
        return text != nullptr && text[0] != '\0' ? Verbatim(text) : Msg(texts::UnknownError);
    }

    unsigned long SftpStatus() const {
        return libssh2_session_last_errno(Ssh) == LIBSSH2_ERROR_SFTP_PROTOCOL
                   ? libssh2_sftp_last_error(Sftp)
                   : LIBSSH2_FX_FAILURE;
    }

    void ConnectSocket(const std::string& host, unsigned port) {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 ||
            found == nullptr)
            throw EFtpError(Msg(texts::HostNotFound));
        int lastError = ECONNREFUSED;
        for (addrinfo* a = found; a != nullptr && Socket < 0; a = a->ai_next) {
            const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (fd < 0) continue;
            Socket = fd;
            if (::connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
                if (errno == EINPROGRESS) {
                    try {
                        Wait(POLLOUT);
                    } catch (...) {
                        ::freeaddrinfo(found);
                        throw;
                    }
                    int error = 0;
                    socklen_t length = sizeof error;
                    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
                    if (error == 0) break;
                    lastError = error;
                } else {
                    lastError = errno;
                }
                ::close(fd);
                Socket = -1;
            }
        }
        ::freeaddrinfo(found);
        if (Socket < 0) throw EFtpError(Msg(texts::SystemFailure, SystemError(lastError)));
    }

    // The host key against the pins and known_hosts; an unknown key goes to the question, a
    // changed one is refused.
    void CheckHostKey(const std::string& host, unsigned port) {
        size_t length = 0;
        int type = 0;
        const char* key = libssh2_session_hostkey(Ssh, &length, &type);
        if (key == nullptr) throw EFtpError(Msg(texts::NoHostKey));
        const std::string fingerprint = SshKeyFingerprint(std::string(key, length));
        std::vector<std::string>& pins = Owner.FSettings.HostKeyPins;
        if (std::find(pins.begin(), pins.end(), fingerprint) != pins.end()) return;

        int match = LIBSSH2_KNOWNHOST_CHECK_NOTFOUND;
        if (LIBSSH2_KNOWNHOSTS* known = libssh2_knownhost_init(Ssh)) {
            const std::string file = Owner.FSettings.KnownHostsFile.empty()
                                         ? DefaultKnownHosts()
                                         : Owner.FSettings.KnownHostsFile;
            // A missing or unreadable file knows no key.
            if (!file.empty())
                libssh2_knownhost_readfile(known, file.c_str(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);
            libssh2_knownhost* entry = nullptr;
            match =
                libssh2_knownhost_checkp(known, host.c_str(), static_cast<int>(port), key, length,
                                         LIBSSH2_KNOWNHOST_TYPE_PLAIN |
                                             LIBSSH2_KNOWNHOST_KEYENC_RAW | KnownHostKeyType(type),
                                         &entry);
            libssh2_knownhost_free(known);
        }
        if (match == LIBSSH2_KNOWNHOST_CHECK_MATCH) return;
        const std::string& server = Owner.FServerName;
        if (match == LIBSSH2_KNOWNHOST_CHECK_MISMATCH)
            throw EServerIdentityError(Msg(texts::HostKeyChanged, server, fingerprint),
                                       std::string(), fingerprint, true);
        if (!pins.empty()) {
            // Trusted by its keys: another one is a changed key, not an unknown server.
            throw EServerIdentityError(Msg(texts::HostKeyChangedFromTrusted, server,
                                           Names(pins, pins.size()), fingerprint),
                                       std::string(), fingerprint, true);
        }
        if (Owner.FHooks.OnUnknownHostKey && Owner.FHooks.OnUnknownHostKey(server, fingerprint)) {
            pins.push_back(fingerprint); // for the reconnects of this session
            return;
        }
        throw EServerIdentityError(Msg(texts::HostKeyUnknown, server, fingerprint), std::string(),
                                   fingerprint, false);
    }

    static void AnswerPrompts(const char*, int, const char*, int, int count,
                              const LIBSSH2_USERAUTH_KBDINT_PROMPT*,
                              LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void** abstract) {
        const auto* self = static_cast<const TSession*>(*abstract);
        for (int i = 0; i < count; ++i) {
            // The library frees the answers with its own allocator, the C one by default.
            char* text = static_cast<char*>(std::malloc(self->Password.size() + 1));
            if (text == nullptr) {
                responses[i].text = nullptr;
                responses[i].length = 0;
                continue;
            }
            std::memcpy(text, self->Password.c_str(), self->Password.size() + 1);
            responses[i].text = text;
            responses[i].length = static_cast<unsigned int>(self->Password.size());
        }
    }

    // Logs in; the reason of a refusal (none: logged in).
    std::optional<TMessage> LogIn() {
        const TFtpSettings& s = Owner.FSettings;
        const auto user = static_cast<unsigned int>(s.User.size());
        if (!s.KeyFile.empty()) {
            const int rc = Retry([&] {
                return libssh2_userauth_publickey_fromfile_ex(
                    Ssh, s.User.c_str(), user, nullptr, s.KeyFile.c_str(), s.KeyPassphrase.c_str());
            });
            if (rc == 0) return std::nullopt;
            if (rc == LIBSSH2_ERROR_FILE) return Msg(texts::KeyFileUnreadable, s.KeyFile);
            return Msg(texts::ServerRefusedKey);
        }
        const char* methods =
            Retry([&] { return libssh2_userauth_list(Ssh, s.User.c_str(), user); });
        if (methods == nullptr) {
            if (libssh2_userauth_authenticated(Ssh) != 0) return std::nullopt; // "none" worked
            return Reason();
        }
        const std::string offered = methods;
        // Without a key file: the password when there is one, the keys of ssh-agent and the
        // user's own default keys when there is none or it is refused, as ssh would.
        const bool keys = offered.find("publickey") != std::string::npos;
        if (s.Password.empty() && keys && (ByAgent() || ByDefaultKeys())) return std::nullopt;
        int rc = LIBSSH2_ERROR_AUTHENTICATION_FAILED;
        if (offered.find("password") != std::string::npos) {
            rc = Retry([&] {
                return libssh2_userauth_password_ex(Ssh, s.User.c_str(), user, s.Password.c_str(),
                                                    static_cast<unsigned int>(s.Password.size()),
                                                    nullptr);
            });
        }
        if (rc != 0 && offered.find("keyboard-interactive") != std::string::npos) {
            Password = s.Password;
            *libssh2_session_abstract(Ssh) = this;
            rc = Retry([&] {
                return libssh2_userauth_keyboard_interactive_ex(Ssh, s.User.c_str(), user,
                                                                &TSession::AnswerPrompts);
            });
        }
        if (rc == 0) return std::nullopt;
        if (!s.Password.empty() && keys && (ByAgent() || ByDefaultKeys())) return std::nullopt;
        return Msg(texts::ServerRefusedLogin);
    }

    // A login with one of the identities ssh-agent holds (SSH_AUTH_SOCK); false without an
    // agent or when the server takes none of them.
    bool ByAgent() {
        const char* socket = std::getenv("SSH_AUTH_SOCK");
        if (socket == nullptr || socket[0] == '\0') return false;
        LIBSSH2_AGENT* agent = libssh2_agent_init(Ssh);
        if (agent == nullptr) return false;
        bool in = false;
        if (libssh2_agent_connect(agent) == 0) {
            if (libssh2_agent_list_identities(agent) == 0) {
                libssh2_agent_publickey* identity = nullptr;
                libssh2_agent_publickey* previous = nullptr;
                const std::string& user = Owner.FSettings.User;
                while (!in && libssh2_agent_get_identity(agent, &identity, previous) == 0) {
                    in = Retry([&] {
                             return libssh2_agent_userauth(agent, user.c_str(), identity);
                         }) == 0;
                    previous = identity;
                }
            }
            libssh2_agent_disconnect(agent);
        }
        libssh2_agent_free(agent);
        return in;
    }

    // A login with the first of the user's default keys (~/.ssh) the server takes; keys locked
    // by a passphrase are left to the agent.
    bool ByDefaultKeys() {
        const std::string& user = Owner.FSettings.User;
        for (const std::string& key : DefaultSshKeyFiles()) {
            const int rc = Retry([&] {
                return libssh2_userauth_publickey_fromfile_ex(
                    Ssh, user.c_str(), static_cast<unsigned int>(user.size()), nullptr, key.c_str(),
                    "");
            });
            if (rc == 0) return true;
        }
        return false;
    }

    // ---- The extension channel: a minimal SFTP client for what libssh2 does not offer.

    void ChannelWrite(const std::string& data) {
        size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = Retry([&] {
                return libssh2_channel_write(Extension, data.data() + sent, data.size() - sent);
            });
            if (n < 0) throw EFtpError(Reason());
            sent += static_cast<size_t>(n);
        }
    }

    std::string ChannelRead(size_t size) {
        std::string data(size, '\0');
        size_t got = 0;
        while (got < size) {
            const ssize_t n = Retry(
                [&] { return libssh2_channel_read(Extension, data.data() + got, size - got); });
            if (n < 0) throw EFtpError(Reason());
            if (n == 0) {
                if (libssh2_channel_eof(Extension) != 0)
                    throw EFtpError(Msg(texts::ConnectionLost));
                WaitForLibrary();
                continue;
            }
            got += static_cast<size_t>(n);
        }
        return data;
    }

    // One packet: its type and its body.
    std::pair<int, std::string> ReadPacket() {
        std::string header = ChannelRead(4);
        size_t at = 0;
        const std::uint32_t length = GetU32(header, at);
        if (length == 0 || length > 256 * 1024) throw EFtpError(Msg(texts::ConnectionLost));
        const std::string packet = ChannelRead(length);
        return {static_cast<unsigned char>(packet[0]), packet.substr(1)};
    }

    void SendPacket(int type, const std::string& body) {
        std::string packet;
        PutU32(packet, static_cast<std::uint32_t>(body.size() + 1));
        packet += static_cast<char>(type);
        packet += body;
        ChannelWrite(packet);
    }

    // Opens the second SFTP channel once and learns the server's extensions from its greeting.
    void AskExtensions() {
        if (ExtensionAsked) return;
        ExtensionAsked = true;
        Extension = Retry([&] { return libssh2_channel_open_session(Ssh); });
        if (Extension == nullptr) return; // no second channel: the plain rename it is
        if (Retry([&] { return libssh2_channel_subsystem(Extension, "sftp"); }) != 0) return;
        std::string init;
        PutU32(init, 3);
        SendPacket(1, init); // SSH_FXP_INIT, version 3
        const auto [type, body] = ReadPacket();
        if (type != 2) return; // SSH_FXP_VERSION
        size_t at = 0;
        GetU32(body, at);
        while (at < body.size()) {
            const std::string name = GetString(body, at);
            const std::string data = GetString(body, at);
            if (name == "posix-rename@openssh.com" && data == "1") PosixRename = true;
        }
    }

    // posix-rename@openssh.com: the status code, with the server's message.
    unsigned long PosixRenameCall(const std::string& from, const std::string& to,
                                  std::string& message) {
        const std::uint32_t id = NextId++;
        std::string body;
        PutU32(body, id);
        PutString(body, "posix-rename@openssh.com");
        PutString(body, from);
        PutString(body, to);
        SendPacket(200, body); // SSH_FXP_EXTENDED
        for (;;) {
            const auto [type, reply] = ReadPacket();
            size_t at = 0;
            if (type != 101 || GetU32(reply, at) != id) continue; // SSH_FXP_STATUS for our call
            const std::uint32_t code = GetU32(reply, at);
            if (at < reply.size()) message = GetString(reply, at);
            return code;
        }
    }
};

TSftpTransport::TSftpTransport(const TFtpSettings& settings, TTransportHooks hooks)
    : FSettings(settings), FHooks(std::move(hooks)) {
    InitLibssh2Once();
}

TSftpTransport::~TSftpTransport() {
    Disconnect();
}

void TSftpTransport::Disconnect() noexcept {
    FSession.reset();
}

void TSftpTransport::Connect() {
    Open(true);
}

TSftpTransport::TSession& TSftpTransport::Session() {
    // After a connection dropped on purpose (an abort), the clean-up gets one of its own.
    if (!FSession) Open(false);
    return *FSession;
}

void TSftpTransport::Open(bool abortable) {
    Disconnect();
    const TFtpAddress address = ParseFtpHost(FSettings.Host);
    const unsigned port = address.Port != 0     ? address.Port
                          : FSettings.Port != 0 ? FSettings.Port
                                                : DefaultPort(TTransferProtocol::Sftp);
    const std::string host = address.Valid ? address.Host : FSettings.Host;
    FServerName = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" +
                  std::to_string(port);
    if (!address.Valid || !SafeForServer(FSettings.User) || !SafeForServer(FSettings.Password))
        throw EFtpError(
            Msg(texts::CouldNotConnect, FServerName,
                Msg(address.Valid ? texts::LoginOrPasswordUnsafe : texts::InvalidHostName)));
    auto session = std::make_unique<TSession>(*this);
    TSession& s = *session;
    s.Abortable = abortable;
    try {
        s.ConnectSocket(host, port);
        s.Ssh = libssh2_session_init();
        if (s.Ssh == nullptr) throw EFtpError(Msg(texts::UnknownError));
        libssh2_session_set_blocking(s.Ssh, 0);
        if (s.Retry([&] { return libssh2_session_handshake(s.Ssh, s.Socket); }) != 0)
            throw EFtpError(s.Reason());
        s.CheckHostKey(host, port);
    } catch (const EServerIdentityError&) {
        throw;
    } catch (const EFtpError& e) {
        throw EFtpError(Msg(texts::CouldNotConnect, FServerName, e.Message()));
    }
    try {
        if (std::optional<TMessage> refused = s.LogIn())
            throw EFtpError(Msg(texts::LoginFailed, FServerName, FSettings.User, *refused));
    } catch (const EFtpError& e) {
        if (e.Message().Is(texts::LoginFailed)) throw;
        throw EFtpError(Msg(texts::LoginFailed, FServerName, FSettings.User, e.Message()));
    }
    s.Sftp = s.Retry([&] { return libssh2_sftp_init(s.Ssh); });
    if (s.Sftp == nullptr)
        throw EFtpError(Msg(texts::CouldNotConnect, FServerName, Msg(texts::ServerOffersNoSftp)));
    s.Abortable = false; // from here on, only the transfers heed an abort
    FSession = std::move(session);
}

void TSftpTransport::Put(const std::string& remote, const std::string& local) {
    if (!SafeForServer(remote)) throw EFtpError(Msg(texts::InvalidRemoteName));
    TSession& s = Session();
    std::FILE* file = std::fopen(local.c_str(), "rb");
    if (file == nullptr) throw EFtpError(Msg(texts::UnknownError));
    // Readable by the web server; a rename over an existing file gives it that file's mode.
    const long mode = 0644;
    LIBSSH2_SFTP_HANDLE* handle = s.Retry([&] {
        return libssh2_sftp_open_ex(
            s.Sftp, remote.c_str(), static_cast<unsigned int>(remote.size()),
            LIBSSH2_FXF_WRITE | LIBSSH2_FXF_CREAT | LIBSSH2_FXF_TRUNC, mode, LIBSSH2_SFTP_OPENFILE);
    });
    if (handle == nullptr) {
        std::fclose(file);
        throw EFtpError(s.Reason());
    }
    std::vector<char> buffer(kChunk);
    s.Abortable = true;
    try {
        for (;;) {
            const size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
            if (got == 0) {
                if (std::ferror(file) != 0) throw EFtpError(Msg(texts::LocalFileUnreadable));
                break;
            }
            // A fast server never makes the writes wait, where an abort is heard otherwise.
            if (s.AbortAsked()) throw EFtpError(Msg(texts::TransferAborted));
            size_t sent = 0;
            while (sent < got) {
                const ssize_t n = s.Retry(
                    [&] { return libssh2_sftp_write(handle, buffer.data() + sent, got - sent); });
                if (n < 0) throw EFtpError(s.Reason());
                sent += static_cast<size_t>(n);
                if (FHooks.OnBytes) FHooks.OnBytes(static_cast<std::int64_t>(n));
            }
        }
        s.Abortable = false;
        std::fclose(file);
        file = nullptr;
        if (s.Retry([&] { return libssh2_sftp_close_handle(handle); }) != 0) {
            handle = nullptr;
            throw EFtpError(s.Reason());
        }
    } catch (...) {
        if (file != nullptr) std::fclose(file);
        // Unfinished writes cannot be taken back: the connection goes with them, and whatever
        // follows (removing the partial file) gets a new one.
        s.DropHandle(handle);
        Disconnect();
        throw;
    }
}

namespace {

// stat of a remote file over a session (its Retry waits out the non-blocking session): 0, or the
// library's failure.
template <class TSessionOf>
int StatOf(TSessionOf& s, const std::string& remote, LIBSSH2_SFTP_ATTRIBUTES& attrs) {
    return s.Retry([&] {
        return libssh2_sftp_stat_ex(s.Sftp, remote.c_str(),
                                    static_cast<unsigned int>(remote.size()), LIBSSH2_SFTP_STAT,
                                    &attrs);
    });
}

} // namespace

std::optional<std::int64_t> TSftpTransport::Size(const std::string& remote) {
    if (!SafeForServer(remote)) throw EFtpError(Msg(texts::InvalidRemoteName));
    TSession& s = Session();
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    if (StatOf(s, remote, attrs) == 0 && (attrs.flags & LIBSSH2_SFTP_ATTR_SIZE) != 0)
        return static_cast<std::int64_t>(attrs.filesize);
    // A server that does not say: the bytes it gives back.
    std::int64_t count = 0;
    try {
        Read(remote, [&](const char*, size_t size) { count += static_cast<std::int64_t>(size); });
    } catch (const EFtpError&) {
        return std::nullopt;
    }
    return count;
}

void TSftpTransport::Read(const std::string& remote,
                          const std::function<void(const char*, size_t)>& sink) {
    if (!SafeForServer(remote)) throw EFtpError(Msg(texts::InvalidRemoteName));
    TSession& s = Session();
    LIBSSH2_SFTP_HANDLE* handle = s.Retry([&] {
        return libssh2_sftp_open_ex(s.Sftp, remote.c_str(),
                                    static_cast<unsigned int>(remote.size()), LIBSSH2_FXF_READ, 0,
                                    LIBSSH2_SFTP_OPENFILE);
    });
    if (handle == nullptr) throw EFtpError(s.Reason());
    std::vector<char> buffer(kChunk);
    s.Abortable = true;
    try {
        for (;;) {
            const ssize_t n =
                s.Retry([&] { return libssh2_sftp_read(handle, buffer.data(), buffer.size()); });
            if (n < 0) throw EFtpError(s.Reason());
            if (n == 0) break;
            sink(buffer.data(), static_cast<size_t>(n));
        }
        s.Abortable = false;
        s.Retry([&] { return libssh2_sftp_close_handle(handle); });
    } catch (...) {
        s.DropHandle(handle);
        Disconnect();
        throw;
    }
}

std::optional<std::string> TSftpTransport::Read(const std::string& remote, std::size_t limit) {
    if (!SafeForServer(remote)) throw EFtpError(Msg(texts::InvalidRemoteName));
    TSession& s = Session();
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    if (StatOf(s, remote, attrs) != 0) {
        if (libssh2_sftp_last_error(s.Sftp) == LIBSSH2_FX_NO_SUCH_FILE) return std::nullopt;
        throw EFtpError(s.Reason());
    }
    std::string data;
    Read(remote, [&](const char* piece, size_t size) {
        if (data.size() + size > limit) throw EFtpError(Msg(texts::RemoteFileTooLarge, limit));
        data.append(piece, size);
    });
    return data;
}

void TSftpTransport::Rename(const std::string& from, const std::string& to) {
    FSourceRefused = false;
    if (!SafeForServer(from) || !SafeForServer(to)) throw EFtpError(Msg(texts::InvalidRemoteName));
    TSession& s = Session();
    // The new file takes the permissions of the one it replaces.
    LIBSSH2_SFTP_ATTRIBUTES old{};
    if (s.Retry([&] {
            return libssh2_sftp_stat_ex(s.Sftp, to.c_str(), static_cast<unsigned int>(to.size()),
                                        LIBSSH2_SFTP_STAT, &old);
        }) == 0 &&
        (old.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) != 0) {
        LIBSSH2_SFTP_ATTRIBUTES mode{};
        mode.flags = LIBSSH2_SFTP_ATTR_PERMISSIONS;
        mode.permissions = old.permissions & 07777;
        s.Retry([&] {
            return libssh2_sftp_stat_ex(s.Sftp, from.c_str(),
                                        static_cast<unsigned int>(from.size()),
                                        LIBSSH2_SFTP_SETSTAT, &mode);
        });
    }
    s.AskExtensions();
    if (s.PosixRename) {
        std::string message;
        const unsigned long status = s.PosixRenameCall(from, to, message);
        if (status == LIBSSH2_FX_OK) return;
        // The server could replace atomically and would not: deleting the target first would
        // only risk leaving the site without one.
        FSourceRefused = true;
        throw EFtpError(message.empty() ? StatusReason(status) : Verbatim(message));
    }
    const int rc = s.Retry([&] {
        return libssh2_sftp_rename_ex(s.Sftp, from.c_str(), static_cast<unsigned int>(from.size()),
                                      to.c_str(), static_cast<unsigned int>(to.size()),
                                      LIBSSH2_SFTP_RENAME_OVERWRITE | LIBSSH2_SFTP_RENAME_ATOMIC |
                                          LIBSSH2_SFTP_RENAME_NATIVE);
    });
    if (rc == 0) return;
    if (s.SftpStatus() == LIBSSH2_FX_NO_SUCH_FILE) FSourceRefused = true;
    throw EFtpError(s.Reason());
}

void TSftpTransport::Delete(const std::string& remote) {
    if (!SafeForServer(remote)) throw EFtpError(Msg(texts::InvalidRemoteName));
    TSession& s = Session();
    if (s.Retry([&] {
            return libssh2_sftp_unlink_ex(s.Sftp, remote.c_str(),
                                          static_cast<unsigned int>(remote.size()));
        }) != 0)
        throw EFtpError(s.Reason());
}

TSftpTransport::TExecResult TSftpTransport::Exec(
    const std::string& command, const std::vector<std::pair<std::string, std::string>>& env,
    std::chrono::milliseconds timeout, const std::function<void(const char*, std::size_t)>& sink) {
    TSession& s = Session();
    LIBSSH2_CHANNEL* channel = s.Retry([&] { return libssh2_channel_open_session(s.Ssh); });
    if (channel == nullptr) throw EFtpError(s.Reason());
    TExecResult result;
    try {
        // The pair itself, not its bindings, is captured: clang 14 cannot capture those.
        for (const auto& variable : env)
            s.Retry([&] {
                return libssh2_channel_setenv_ex(channel, variable.first.c_str(),
                                                 static_cast<unsigned int>(variable.first.size()),
                                                 variable.second.c_str(),
                                                 static_cast<unsigned int>(variable.second.size()));
            });
        if (s.Retry([&] {
                return libssh2_channel_process_startup(channel, "exec", 4, command.c_str(),
                                                       static_cast<unsigned int>(command.size()));
            }) != 0)
            throw EFtpError(s.Reason());
        libssh2_channel_send_eof(channel);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        std::vector<char> buffer(16 * 1024);
        for (;;) {
            bool got = false;
            for (const int stream : {0, SSH_EXTENDED_DATA_STDERR}) {
                const ssize_t n =
                    libssh2_channel_read_ex(channel, stream, buffer.data(), buffer.size());
                if (n > 0) {
                    sink(buffer.data(), static_cast<std::size_t>(n));
                    got = true;
                } else if (n < 0 && n != LIBSSH2_ERROR_EAGAIN) {
                    throw EFtpError(s.Reason());
                }
            }
            if (libssh2_channel_eof(channel) != 0) break;
            if (got) continue;
            if (std::chrono::steady_clock::now() >= deadline) {
                result.TimedOut = true;
                break;
            }
            pollfd p{s.Socket, POLLIN, 0};
            ::poll(&p, 1, 100);
        }
        s.Retry([&] { return libssh2_channel_close(channel); });
        if (!result.TimedOut) {
            s.Retry([&] { return libssh2_channel_wait_closed(channel); });
            result.ExitStatus = libssh2_channel_get_exit_status(channel);
            char* signal = nullptr;
            std::size_t length = 0;
            if (libssh2_channel_get_exit_signal(channel, &signal, &length, nullptr, nullptr,
                                                nullptr, nullptr) == 0 &&
                signal != nullptr) {
                result.Signal.assign(signal, length);
                libssh2_free(s.Ssh, signal);
            }
        }
        libssh2_channel_free(channel);
    } catch (...) {
        libssh2_channel_free(channel);
        throw;
    }
    return result;
}

void TSftpTransport::SetMode(const std::string& remote, unsigned mode) {
    if (!SafeForServer(remote)) throw EFtpError(Msg(texts::InvalidRemoteName));
    TSession& s = Session();
    LIBSSH2_SFTP_ATTRIBUTES attrs{};
    attrs.flags = LIBSSH2_SFTP_ATTR_PERMISSIONS;
    attrs.permissions = mode & 07777;
    if (s.Retry([&] {
            return libssh2_sftp_stat_ex(s.Sftp, remote.c_str(),
                                        static_cast<unsigned int>(remote.size()),
                                        LIBSSH2_SFTP_SETSTAT, &attrs);
        }) != 0)
        throw EFtpError(s.Reason());
}

bool TSftpTransport::AtomicRename() const {
    return FSession && FSession->PosixRename;
}

} // namespace quorvane
