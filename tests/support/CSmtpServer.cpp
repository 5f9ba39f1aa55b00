#include "CSmtpServer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "WaitUntil.h"

namespace fs = std::filesystem;

CSmtpServer::CSmtpServer(std::string strWorkDir)
    : m_strWorkDir(std::move(strWorkDir)), m_strOutDir(m_strWorkDir + "/received") {
    fs::create_directories(m_strOutDir);
}

void CSmtpServer::MakeCertificate() {
    if (fs::exists(CertPath())) return;
    int nRc = CTestProcess::Run({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                 "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                                 "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout",
                                 m_strWorkDir + "/key.pem", "-out", CertPath()});
    if (nRc != 0) throw std::runtime_error("openssl could not make a test certificate");
}

void CSmtpServer::Start(const COptions& opts) {
    std::vector<std::string> vecArgs = {
        "/usr/bin/python3", QUILLORY_TEST_SUPPORT_DIR "/smtp_server.py",      "--out", m_strOutDir,
        "--port",           std::to_string(opts.nPort ? opts.nPort : m_nPort)};
    if (opts.bStartTls || opts.bImplicitTls) {
        MakeCertificate();
        vecArgs.insert(vecArgs.end(), {"--cert", CertPath(), "--key", m_strWorkDir + "/key.pem"});
    }
    if (opts.bStartTls) vecArgs.push_back("--starttls");
    if (opts.bImplicitTls) vecArgs.push_back("--implicit-tls");
    if (!opts.strAuth.empty()) vecArgs.insert(vecArgs.end(), {"--auth", opts.strAuth});
    for (const auto& str : opts.vecRefuse) vecArgs.insert(vecArgs.end(), {"--refuse", str});
    if (!opts.strDataReply.empty()) vecArgs.insert(vecArgs.end(), {"--data-reply", opts.strDataReply});
    if (opts.nSizeLimit > 0) vecArgs.insert(vecArgs.end(), {"--size-limit", std::to_string(opts.nSizeLimit)});
    if (opts.bHangUpAfterData) vecArgs.push_back("--hang-up-after-data");
    m_process.Start(vecArgs, true, m_strWorkDir + "/server.log");
    std::string strPort = m_process.ReadLine(std::chrono::seconds(20));
    if (strPort.empty()) throw std::runtime_error("the SMTP test server did not start");
    m_nPort = std::stoi(strPort);
}

std::vector<CSmtpServer::CReceived> CSmtpServer::Received() const {
    std::vector<std::string> vecNames;
    for (const auto& e : fs::directory_iterator(m_strOutDir)) {
        if (e.path().extension() == ".eml") vecNames.push_back(e.path().stem().string());
    }
    std::sort(vecNames.begin(), vecNames.end());
    std::vector<CReceived> vec;
    for (const auto& strName : vecNames) {
        CReceived r;
        std::ifstream env(m_strOutDir + "/" + strName + ".env");
        std::getline(env, r.strMailFrom);
        for (std::string strLine; std::getline(env, strLine);) r.vecRcpt.push_back(strLine);
        std::ifstream data(m_strOutDir + "/" + strName + ".eml", std::ios::binary);
        r.strData.assign(std::istreambuf_iterator<char>(data), {});
        vec.push_back(std::move(r));
    }
    return vec;
}

bool CSmtpServer::WaitForCount(size_t nCount, std::chrono::milliseconds timeout) const {
    return WaitUntil(
        [&] {
            size_t n = 0;
            for (const auto& e : fs::directory_iterator(m_strOutDir)) n += e.path().extension() == ".eml";
            return n >= nCount;
        },
        timeout);
}
