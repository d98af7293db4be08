#include "tools/ftp/ftp_session.h"

#include "tools/common/ftp_messages.h"
#include "tools/ftp/remote_path.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

namespace {

// Large enough that a 200 MB upload is not held back by callback round trips.
constexpr long transferBufferSize = 512 * 1024;

// libcurl 7.88 keeps reading replies through a pointer into the previous request's buffer until a
// request sends its first command, so a request that reads before it sends (a server sent a line
// too many) reads freed memory. Requests with no command of their own before their first read
// start with this one, whose reply nobody sees; the "*" lets the server refuse it.
const std::string kHarmlessFirstCommand = "*NOOP";

/// Owns a libcurl string list for the length of one transfer.
class StringList final
{
public:
    explicit StringList(const std::vector<std::string> &items)
    {
        for (const std::string &item : items)
            m_list = curl_slist_append(m_list, item.c_str());
    }
    ~StringList() { curl_slist_free_all(m_list); }
    StringList(const StringList &) = delete;
    StringList &operator=(const StringList &) = delete;
    curl_slist *get() const { return m_list; }

private:
    curl_slist *m_list = nullptr;
};

void printLine(const std::string &line)
{
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

std::string transferSummary(long long bytes, long long microseconds, bool sent)
{
    const long long milliseconds = microseconds / 1000 > 0 ? microseconds / 1000 : 1;
    // Kbytes are thousands of bytes, so bytes per millisecond is the rate.
    const double rate = static_cast<double>(bytes) / static_cast<double>(milliseconds);
    char text[160];
    std::snprintf(text, sizeof text, "ftp: %lld bytes %s in %.2fSeconds %.2fKbytes/sec.", bytes,
                  sent ? "sent" : "received", static_cast<double>(microseconds) / 1e6, rate);
    return text;
}

FtpSession::FtpSession(const FtpArguments &arguments) : m_arguments(arguments)
{
    m_curl = curl_easy_init();
    m_multi = curl_multi_init();
    if (m_curl == nullptr || m_multi == nullptr)
        return;
    const long timeout = m_arguments.timeoutSeconds;
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &FtpSession::debugCallback);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, timeout);
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeout);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, 2 * timeout);
    // One CWD to the whole directory, and none at all while the directory stays the same.
    curl_easy_setopt(m_curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(m_curl, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD_BUFFERSIZE, transferBufferSize);
    curl_easy_setopt(m_curl, CURLOPT_BUFFERSIZE, transferBufferSize);
    curl_easy_setopt(m_curl, CURLOPT_READFUNCTION, &FtpSession::readCallback);
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &FtpSession::writeCallback);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
    // A download needs no SIZE round trip first.
    curl_easy_setopt(m_curl, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    curl_easy_setopt(m_curl, CURLOPT_TRANSFERTEXT, 0L);
    if (m_arguments.tls != TlsMode::Never)
        useTls();
}

void FtpSession::useTls()
{
    // AUTH TLS before USER; with CURLUSESSL_ALL a refusal ends the session before the password
    // goes out, and the data connections must be protected too (PROT P).
    curl_easy_setopt(
        m_curl, CURLOPT_USE_SSL,
        static_cast<long>(m_arguments.tls == TlsMode::Required ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(m_curl, CURLOPT_FTPSSLAUTH, static_cast<long>(CURLFTPAUTH_TLS));
    // TLS 1.2 only: under TLS 1.3 this libcurl (7.88) never reads the session ticket a server
    // sends on an upload's data connection, so closing it resets the connection and the server
    // drops the upload's end ("426 Failure reading network stream.").
    curl_easy_setopt(m_curl, CURLOPT_SSLVERSION,
                     long{CURL_SSLVERSION_TLSv1_2} | long{CURL_SSLVERSION_MAX_TLSv1_2});
    // The defaults, said once more: a certificate is checked for its chain and for the host's name.
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_arguments.caFile.empty()) {
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, m_arguments.caFile.c_str());
        curl_easy_setopt(m_curl, CURLOPT_CAPATH, nullptr);
    }
}

FtpSession::~FtpSession()
{
    // The multi handle owns the cached connection: its cleanup sends QUIT if quit() did not.
    if (m_multi != nullptr)
        curl_multi_cleanup(m_multi);
    if (m_curl != nullptr)
        curl_easy_cleanup(m_curl);
}

bool FtpSession::logIn(const std::string &user, const std::string &password, bool promptsShown)
{
    if (m_curl == nullptr || m_multi == nullptr) {
        printLine("ftp: cannot start libcurl.");
        return false;
    }
    // As the name of no host, it is not looked up at all.
    if (!isPlainHost(m_arguments.host)) {
        printLine("Unknown host " + m_arguments.host + ".");
        return false;
    }
    m_user = user;
    m_promptOnSend = !promptsShown;
    curl_easy_setopt(m_curl, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(m_curl, CURLOPT_PASSWORD, password.c_str());

    // The log-in is all this request does: a URL without a path stays in the log-in directory.
    Request request;
    request.url = ftpServerUrl(m_arguments.host, m_arguments.port);
    request.visibleVerbs = {"USER", "PASS"};
    m_loggedIn = perform(request, true);
    m_promptOnSend = false;
    if (!m_loggedIn)
        return false;
    char *entryPath = nullptr;
    if (curl_easy_getinfo(m_curl, CURLINFO_FTP_ENTRY_PATH, &entryPath) == CURLE_OK &&
        entryPath != nullptr && entryPath[0] == '/')
        m_remoteDirectory = joinRemotePath("/", entryPath);
    return true;
}

bool FtpSession::run(const FtpCommand &command)
{
    if (command.kind == CommandKind::Help) {
        std::fputs(helpText(command.arguments.empty() ? "" : command.arguments.front()).c_str(),
                   stdout);
        std::fflush(stdout);
        return true;
    }
    if (command.kind == CommandKind::Lcd)
        return changeLocalDirectory(command.arguments);
    if (!m_loggedIn) {
        printLine("Not connected.");
        return false;
    }
    switch (command.kind) {
    case CommandKind::Cd:
        return changeDirectory(command.arguments.front());
    case CommandKind::Pwd:
        return printDirectory();
    case CommandKind::Ls:
        return list(command.arguments, true);
    case CommandKind::Dir:
        return list(command.arguments, false);
    case CommandKind::Put:
        return put(command.arguments);
    case CommandKind::Get:
        return get(command.arguments);
    case CommandKind::Binary:
        return setType(true);
    case CommandKind::Ascii:
        return setType(false);
    case CommandKind::Mkdir:
        return makeDirectory(command.arguments[0]);
    case CommandKind::Rmdir:
        return quoteOnName("RMD", command.arguments[0]);
    case CommandKind::Delete:
        return quoteOnName("DELE", command.arguments[0]);
    case CommandKind::Rename:
        return rename(command.arguments[0], command.arguments[1]);
    default:
        printLine("Invalid command.");
        return false;
    }
}

void FtpSession::quit()
{
    if (!m_loggedIn)
        return;
    // Closing the connection at the end of this request sends QUIT while our debug callback is
    // still in place, so the farewell shows; curl_easy_cleanup would send it silently.
    Request request;
    request.url = directoryUrl(m_remoteDirectory);
    request.quote = {kHarmlessFirstCommand};
    request.visibleVerbs = {"QUIT"};
    request.closeAfter = true;
    perform(request);
    m_loggedIn = false;
}

bool FtpSession::perform(const Request &request, bool showGreeting)
{
    const StringList quote(request.quote);
    const StringList postQuote(request.postQuote);
    curl_easy_setopt(m_curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_QUOTE, quote.get());
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, postQuote.get());
    curl_easy_setopt(m_curl, CURLOPT_NOBODY, request.noBody ? 1L : 0L);
    curl_easy_setopt(m_curl, CURLOPT_DIRLISTONLY, request.listOnly ? 1L : 0L);
    curl_easy_setopt(m_curl, CURLOPT_UPLOAD, request.upload != nullptr ? 1L : 0L);
    curl_easy_setopt(m_curl, CURLOPT_READDATA, request.upload);
    curl_easy_setopt(m_curl, CURLOPT_INFILESIZE_LARGE,
                     request.upload != nullptr ? request.uploadSize : curl_off_t{-1});
    curl_easy_setopt(m_curl, CURLOPT_FORBID_REUSE, request.closeAfter ? 1L : 0L);

    m_filter.begin(request.visibleVerbs, showGreeting);
    m_errorBuffer[0] = '\0';
    const CURLcode code = drive();
    m_lastCode = code;
    std::fflush(stdout);
    // Unset so that no later request refers to lists that are gone.
    curl_easy_setopt(m_curl, CURLOPT_QUOTE, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_POSTQUOTE, nullptr);
    if (code != CURLE_OK) {
        reportFailure(code);
        return false;
    }
    return true;
}

CURLcode FtpSession::drive()
{
    // libcurl 7.88 waits for the control connection to become readable after an EPSV reply that
    // came in early, although the server is waiting for the data connection: with the easy
    // interface's one-second poll that costs a second on many uploads. Short poll slices keep the
    // state machine moving; an idle wait costs only a wake-up per slice.
    constexpr int pollSliceMilliseconds = 2;
    if (curl_multi_add_handle(m_multi, m_curl) != CURLM_OK)
        return CURLE_FAILED_INIT;
    int running = 1;
    CURLMcode multiCode = CURLM_OK;
    while (running > 0 && multiCode == CURLM_OK) {
        multiCode = curl_multi_perform(m_multi, &running);
        if (running > 0 && multiCode == CURLM_OK)
            multiCode = curl_multi_poll(m_multi, nullptr, 0, pollSliceMilliseconds, nullptr);
    }
    CURLcode code = multiCode == CURLM_OK ? CURLE_OK : CURLE_FAILED_INIT;
    int queued = 0;
    while (CURLMsg *message = curl_multi_info_read(m_multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == m_curl)
            code = message->data.result;
    }
    curl_multi_remove_handle(m_multi, m_curl);
    return code;
}

void FtpSession::reportFailure(CURLcode code)
{
    const std::string detail =
        visibleLine(m_errorBuffer[0] != '\0' ? m_errorBuffer : curl_easy_strerror(code));
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        printLine("Unknown host " + m_arguments.host + ".");
        return;
    case CURLE_URL_MALFORMAT:
        // Paths are escaped into the URL, so only a host that cannot be a name makes it
        // malformed; the user typed a host, not a URL.
        if (!m_loggedIn) {
            printLine("Unknown host " + m_arguments.host + ".");
            return;
        }
        break;
    case CURLE_COULDNT_CONNECT:
        printLine("ftp: connect: " + detail);
        return;
    case CURLE_LOGIN_DENIED:
        printLine("Login failed.");
        return;
    case CURLE_USE_SSL_FAILED:
        printLine(kFtpTlsMissingStart +
                  std::string(m_tlsStarted ? "does not protect the data connections: "
                                           : "does not offer it: ") +
                  visibleLine(m_filter.lastReply()));
        return;
    case CURLE_PEER_FAILED_VERIFICATION:
        printLine(kFtpCertificateStart + certificateProblem() + ": " + detail);
        return;
    case CURLE_OPERATION_TIMEDOUT:
        // libcurl reports "421 Service not available, closing control connection" as a
        // time-out: the server's line says what happened, and the connection is gone.
        if (m_filter.lastReply().rfind("421", 0) == 0) {
            m_loggedIn = false;
            break;
        }
        printLine(kFtpTimeOutStart + std::to_string(m_arguments.timeoutSeconds) +
                  " seconds without an answer or progress: " + detail);
        return;
    default:
        break;
    }
    if (m_filter.failureShown())
        return;
    // The server refused something the user did not ask for by name (a CWD before a STOR, a
    // data connection): its reply says more than libcurl's summary.
    if (isFailureReply(m_filter.lastReply()))
        printLine(visibleLine(m_filter.lastReply()));
    else
        printLine("ftp: " + detail);
}

std::string FtpSession::certificateProblem() const
{
    // libcurl checks the host's name itself once the chain has verified, and says so in its words.
    if (std::strstr(m_errorBuffer, "host name") != nullptr)
        return "was not issued for " + m_arguments.host;
    // OpenSSL's verification results (X509_V_ERR_...).
    long result = 0;
    curl_easy_getinfo(m_curl, CURLINFO_SSL_VERIFYRESULT, &result);
    switch (result) {
    case 9:
        return "is not valid yet";
    case 10:
        return "has expired";
    case 18:
        return "is self-signed and not trusted";
    case 2:
    case 19:
    case 20:
    case 21:
        return "is not signed by anyone trusted";
    default:
        return "was refused";
    }
}

bool FtpSession::remotePath(const std::string &argument, std::string *path)
{
    if (hasControlCharacters(argument)) {
        printLine("ftp: a remote name may not hold control characters.");
        return false;
    }
    *path = joinRemotePath(m_remoteDirectory, argument);
    return true;
}

bool FtpSession::remoteName(const std::string &argument, std::string *path)
{
    if (hasControlCharacters(argument)) {
        printLine("ftp: a remote name may not hold control characters.");
        return false;
    }
    if (!joinRemoteName(m_remoteDirectory, argument, path)) {
        printLine("ftp: " + argument + ": does not end in the name of a file or directory.");
        return false;
    }
    return true;
}

std::string FtpSession::directoryUrl(const std::string &path) const
{
    return ftpUrl(m_arguments.host, m_arguments.port, path, true);
}

bool FtpSession::changeDirectory(const std::string &argument)
{
    std::string target;
    if (!remotePath(argument, &target))
        return false;
    // The quoted CWD always goes out, so the server's answer shows even when libcurl would skip
    // its own CWD to a directory it is in already.
    Request request;
    request.url = directoryUrl(target);
    request.quote = {"CWD " + target};
    request.visibleVerbs = {"CWD"};
    // A script's puts after a refused cd would land wherever the log-in left the session,
    // perhaps over a file of the same name there; psftp stops at that point too.
    const bool changed = perform(request);
    m_directoryRefused = !changed && !m_arguments.scriptPath.empty();
    if (!changed)
        return false;
    m_remoteDirectory = target;
    return true;
}

bool FtpSession::printDirectory()
{
    Request request;
    request.url = directoryUrl(m_remoteDirectory);
    request.quote = {kHarmlessFirstCommand};
    request.postQuote = {"PWD"};
    request.visibleVerbs = {"PWD"};
    return perform(request);
}

bool FtpSession::quoteCommands(const std::vector<std::string> &commands,
                               const std::vector<std::string> &verbs)
{
    Request request;
    request.url = directoryUrl(m_remoteDirectory);
    request.quote = commands;
    request.visibleVerbs = verbs;
    return perform(request);
}

bool FtpSession::quoteOnName(const std::string &verb, const std::string &argument)
{
    std::string path;
    return remoteName(argument, &path) && quoteCommands({verb + " " + path}, {verb});
}

bool FtpSession::makeDirectory(const std::string &argument)
{
    std::string path;
    if (!remoteName(argument, &path))
        return false;
    // A directory that is there already is refused like one that cannot be made; the cd that
    // follows tells them apart. Only a session that could not ask counts as failed.
    return quoteCommands({"MKD " + path}, {"MKD"}) || m_lastCode == CURLE_QUOTE_ERROR;
}

bool FtpSession::rename(const std::string &from, const std::string &to)
{
    std::string source;
    std::string target;
    if (!remoteName(from, &source) || !remoteName(to, &target))
        return false;
    // A file stored under a temporary name gets its real name only when all of it arrived.
    if (m_failedUploads.count(source) != 0) {
        printLine("rename " + from + ": not renamed, since its upload failed.");
        return false;
    }
    return quoteCommands({"RNFR " + source, "RNTO " + target}, {"RNFR", "RNTO"});
}

bool FtpSession::list(const std::vector<std::string> &arguments, bool namesOnly)
{
    std::string target = m_remoteDirectory;
    if (!arguments.empty() && !remotePath(arguments.front(), &target))
        return false;
    Request request;
    request.url = directoryUrl(target);
    request.noBody = false;
    request.listOnly = namesOnly;
    request.visibleVerbs = {namesOnly ? "NLST" : "LIST"};
    m_download = Download{};
    const bool ok = perform(request);
    const std::string rest = m_download.listing.finish();
    std::fwrite(rest.data(), 1, rest.size(), stdout);
    if (ok)
        printTransferSummary(false);
    return ok;
}

bool FtpSession::put(const std::vector<std::string> &arguments)
{
    const std::string &local = arguments[0];
    std::string remote;
    if (!remoteName(arguments.size() > 1 ? arguments[1] : lastPathPart(local), &remote))
        return false;
    // Whatever the remote name held before, it does not hold this file until a put succeeds.
    m_failedUploads.insert(remote);
    if (m_directoryRefused) {
        printLine("ftp: " + local + " not sent, since the cd before it failed.");
        return false;
    }
    std::error_code error;
    if (std::filesystem::is_directory(local, error)) {
        printLine("Error opening local file " + local + ": it is a directory.");
        return false;
    }
    std::FILE *file = std::fopen(local.c_str(), "rb");
    if (file == nullptr) {
        printLine("Error opening local file " + local + ": " + std::strerror(errno) + ".");
        return false;
    }
    // libcurl asks for whole buffers; stdio's own buffer would only add a copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    const auto size = std::filesystem::file_size(local, error);

    Request request;
    request.url = ftpUrl(m_arguments.host, m_arguments.port, remote, false);
    request.noBody = false;
    request.upload = file;
    request.uploadSize = error ? curl_off_t{-1} : static_cast<curl_off_t>(size);
    request.visibleVerbs = {"STOR"};
    // A server may answer 226 before it has all the bytes; what it holds then tells. The "*" keeps
    // a server without SIZE from failing the request; the reply is read below. In ASCII mode the
    // server's count differs by its line ends, so there is nothing to compare.
    if (m_binary)
        request.postQuote = {"*SIZE " + lastPathPart(remote)};
    bool ok = perform(request);
    std::fclose(file);
    if (ok)
        printTransferSummary(true);
    if (ok && m_binary)
        ok = checkStoredSize(local);
    if (ok)
        m_failedUploads.erase(remote);
    return ok;
}

bool FtpSession::checkStoredSize(const std::string &name)
{
    const std::string &reply = m_filter.lastReply();
    if (reply.rfind("500", 0) == 0 || reply.rfind("502", 0) == 0) {
        if (!std::exchange(m_sizeUnsupportedNoted, true))
            printLine("ftp: the server does not answer SIZE (" + visibleLine(reply) +
                      "): uploads are not checked.");
        return true;
    }
    curl_off_t sent = 0;
    curl_easy_getinfo(m_curl, CURLINFO_SIZE_UPLOAD_T, &sent);
    // "213 N", N a whole number of bytes, perhaps followed by words of the server's own.
    long long held = -1;
    if (reply.size() > 4 && reply.rfind("213 ", 0) == 0 &&
        std::isdigit(static_cast<unsigned char>(reply[4])) != 0) {
        char *end = nullptr;
        errno = 0;
        held = std::strtoll(reply.c_str() + 4, &end, 10);
        if (errno != 0 || (*end != '\0' && *end != ' '))
            held = -1;
    }
    if (held < 0) {
        printLine("put " + name +
                  ": the server did not tell the size it holds: " + visibleLine(reply));
        return false;
    }
    if (held == sent)
        return true;
    printLine("put " + name + ": the server holds " + std::to_string(held) + " bytes, " +
              std::to_string(sent) + " were sent");
    return false;
}

bool FtpSession::get(const std::vector<std::string> &arguments)
{
    std::string remote;
    if (!remoteName(arguments[0], &remote))
        return false;
    Request request;
    request.url = ftpUrl(m_arguments.host, m_arguments.port, remote, false);
    request.noBody = false;
    request.visibleVerbs = {"RETR"};
    m_download = Download{};
    m_download.localPath = arguments.size() > 1 ? arguments[1] : lastPathPart(remote);
    bool ok = perform(request);
    if (ok && m_download.file == nullptr && !m_download.localFileFailed) {
        // An empty remote file still gives a local one.
        m_download.file = std::fopen(m_download.localPath.c_str(), "wb");
        if (m_download.file == nullptr) {
            m_download.localFileFailed = true;
            m_download.localErrno = errno;
        }
    }
    if (m_download.file != nullptr && std::fclose(m_download.file) != 0 && ok) {
        m_download.localFileFailed = true;
        m_download.localErrno = errno;
    }
    m_download.file = nullptr;
    if (m_download.localFileFailed) {
        printLine("Error writing local file " + m_download.localPath + ": " +
                  std::strerror(m_download.localErrno) + ".");
        return false;
    }
    if (ok)
        printTransferSummary(false);
    return ok;
}

bool FtpSession::setType(bool binary)
{
    // libcurl sends its own TYPE before a transfer whenever the type it last set differs from the
    // wanted one, so the server never transfers in a type the user did not choose.
    curl_easy_setopt(m_curl, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
    m_binary = binary;
    return quoteCommands({binary ? "TYPE I" : "TYPE A"}, {"TYPE"});
}

bool FtpSession::changeLocalDirectory(const std::vector<std::string> &arguments)
{
    std::error_code error;
    if (!arguments.empty()) {
        std::filesystem::current_path(arguments.front(), error);
        if (error) {
            printLine(arguments.front() + ": " + error.message() + ".");
            return false;
        }
    }
    const std::filesystem::path now = std::filesystem::current_path(error);
    printLine("Local directory now " + now.string() + ".");
    return true;
}

void FtpSession::printTransferSummary(bool sent)
{
    curl_off_t bytes = 0;
    curl_off_t microseconds = 0;
    curl_easy_getinfo(m_curl, sent ? CURLINFO_SIZE_UPLOAD_T : CURLINFO_SIZE_DOWNLOAD_T, &bytes);
    curl_easy_getinfo(m_curl, CURLINFO_TOTAL_TIME_T, &microseconds);
    printLine(transferSummary(bytes, microseconds, sent));
}

int FtpSession::debugCallback(CURL *, curl_infotype type, char *data, std::size_t size, void *self)
{
    auto *session = static_cast<FtpSession *>(self);
    const std::string_view text(data, size);
    if (type == CURLINFO_HEADER_OUT) {
        const std::string verb = session->m_filter.commandSent(text);
        session->m_lastVerb = verb;
        if (session->m_promptOnSend && verb == "USER")
            printLine("User (" + session->m_arguments.host + ":(none)): " + session->m_user);
        else if (session->m_promptOnSend && verb == "PASS")
            printLine("Password:");
    } else if (type == CURLINFO_HEADER_IN) {
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            std::string_view line = text.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            if (!session->m_connectAnnounced) {
                session->m_connectAnnounced = true;
                printLine("Connected to " + session->m_arguments.host + ".");
            }
            if (session->m_filter.replyReceived(line))
                printLine(visibleLine(line));
            session->noteTlsReply(line);
            start = end + 1;
        }
    }
    return 0;
}

void FtpSession::noteTlsReply(std::string_view line)
{
    // Only the last line of a reply carries the code and a blank after it.
    if (line.size() < 4 || line[3] != ' ' || m_arguments.tls == TlsMode::Never)
        return;
    if (m_lastVerb == "AUTH" && line.substr(0, 3) == "234")
        m_tlsStarted = true;
    else if (m_lastVerb == "PROT" && line[0] == '2')
        printLine(kFtpTlsInUseLine);
}

std::size_t FtpSession::readCallback(char *buffer, std::size_t size, std::size_t count, void *file)
{
    auto *stream = static_cast<std::FILE *>(file);
    const std::size_t read = std::fread(buffer, 1, size * count, stream);
    if (read == 0 && std::ferror(stream))
        return CURL_READFUNC_ABORT;
    return read;
}

std::size_t FtpSession::writeCallback(char *data, std::size_t size, std::size_t count, void *self)
{
    auto *session = static_cast<FtpSession *>(self);
    Download &download = session->m_download;
    const std::size_t bytes = size * count;
    if (download.localPath.empty()) {
        // A listing is the server's text too, bound for the same terminal as its replies.
        const std::string shown = download.listing.feed(std::string_view(data, bytes));
        std::fwrite(shown.data(), 1, shown.size(), stdout);
        return bytes;
    }
    if (download.file == nullptr) {
        download.file = std::fopen(download.localPath.c_str(), "wb");
        if (download.file == nullptr) {
            download.localFileFailed = true;
            download.localErrno = errno;
            return 0;
        }
    }
    if (std::fwrite(data, 1, bytes, download.file) != bytes) {
        download.localFileFailed = true;
        download.localErrno = errno;
        return 0;
    }
    return bytes;
}
