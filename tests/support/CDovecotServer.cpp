#include "CDovecotServer.h"

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "WaitUntil.h"

namespace fs = std::filesystem;

namespace {

int FreePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLen = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &nLen);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool Accepts(int nPort) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(nPort));
    bool b = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return b;
}

}  // namespace

CDovecotServer::CDovecotServer(std::string strWorkDir) : m_strWorkDir(std::move(strWorkDir)) {}

void CDovecotServer::Deliver(const std::string& strName, const std::string& strBytes) const {
    std::string strBox = m_strWorkDir + "/mail/" + kUser;
    for (const char* psz : {"/tmp", "/new", "/cur"}) fs::create_directories(strBox + psz);
    std::ofstream(strBox + "/tmp/" + strName, std::ios::binary) << strBytes;
    fs::rename(strBox + "/tmp/" + strName, strBox + "/new/" + strName);
    for (const auto& e : fs::recursive_directory_iterator(m_strWorkDir + "/mail"))
        ::chown(e.path().c_str(), m_nMailUid, m_nMailGid);
    ::chown((m_strWorkDir + "/mail").c_str(), m_nMailUid, m_nMailGid);
}

void CDovecotServer::Start() {
    const std::string& d = m_strWorkDir;
    for (const char* psz : {"/run", "/state", "/mail", "/home"}) fs::create_directories(d + psz);
    bool bRoot = ::geteuid() == 0;
    std::string strUser = bRoot ? "dovecot" : ::getpwuid(::geteuid())->pw_name;
    std::string strLoginUser = bRoot ? "dovenull" : strUser;
    std::string strGroup = bRoot ? "dovecot" : ::getgrgid(::getegid())->gr_name;
    if (bRoot) {
        // The unprivileged login processes must reach the run folder.
        for (std::string str = d; str != "/tmp" && str.size() > 1; str = fs::path(str).parent_path().string())
            ::chmod(str.c_str(), 0755);
    }
    passwd* pMail = bRoot ? ::getpwnam("dovecot") : nullptr;
    m_nMailUid = pMail ? pMail->pw_uid : ::geteuid();
    m_nMailGid = pMail ? pMail->pw_gid : ::getegid();
    ::chown((d + "/mail").c_str(), m_nMailUid, m_nMailGid);
    ::chown((d + "/home").c_str(), m_nMailUid, m_nMailGid);
    m_nImapPort = FreePort();
    m_nPop3Port = FreePort();
    std::ofstream(d + "/users") << kUser << ":{PLAIN}" << kPassword << ":" << m_nMailUid << ":" << m_nMailGid
                                << "::" << d << "/home::\n";
    std::ofstream conf(d + "/dovecot.conf");
    conf << "base_dir = " << d << "/run\nstate_dir = " << d << "/state\nlog_path = " << d << "/dovecot.log\n"
         << "ssl = no\ndisable_plaintext_auth = no\nlisten = 127.0.0.1\nprotocols = imap pop3\n"
         << "mail_location = maildir:" << d << "/mail/%u\n"
         << "default_internal_user = " << strUser << "\ndefault_internal_group = " << strGroup
         << "\ndefault_login_user = " << strLoginUser << "\nfirst_valid_uid = 1\nfirst_valid_gid = 1\n"
         << "pop3_uidl_format = %08Xu%08Xv\n"
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " << d << "/users\n}\n"
         << "userdb {\n  driver = passwd-file\n  args = username_format=%u " << d << "/users\n}\n"
         << "service imap-login {\n  chroot =\n  inet_listener imap {\n    port = " << m_nImapPort
         << "\n  }\n  inet_listener imaps {\n    port = 0\n  }\n}\n"
         << "service pop3-login {\n  chroot =\n  inet_listener pop3 {\n    port = " << m_nPop3Port
         << "\n  }\n  inet_listener pop3s {\n    port = 0\n  }\n}\n"
         << "service anvil {\n  chroot =\n}\n";
    conf.close();
    m_process.Start({"/usr/sbin/dovecot", "-F", "-c", d + "/dovecot.conf"}, false, d + "/dovecot.stderr");
    if (WaitUntil([&] { return Accepts(m_nImapPort) && Accepts(m_nPop3Port); }, std::chrono::seconds(10))) return;
    throw std::runtime_error("dovecot did not start; see " + d + "/dovecot.log");
}
