#include "CKeyringPasswordStore.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <cstdlib>

#include <qt6keychain/keychain.h>

namespace {

const char* const kService = "mailhost";

// What a finished job said, copied out: the job deletes itself.
struct CJobAnswer {
    QKeychain::Error error = QKeychain::OtherError;
    std::string strWhy;
    std::string strPassword;
};

// Starts the job and waits for its answer. A job that does not answer in
// time is left to finish (and delete itself) on its own.
CResult<CJobAnswer> RunJob(QKeychain::Job* pJob, std::chrono::milliseconds timeout) {
    if (!QCoreApplication::instance()) {
        delete pJob;
        return CProblem("the desktop keyring: no application object to wait for its answer");
    }
    if (!CKeyringPasswordStore::SessionBusAvailable()) {
        delete pJob;
        return CProblem("no session bus");
    }
    QEventLoop loop;
    CJobAnswer answer;
    bool bAnswered = false;
    QObject::connect(pJob, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* p) {
        answer.error = p->error();
        answer.strWhy = p->errorString().toStdString();
        if (auto* pRead = qobject_cast<QKeychain::ReadPasswordJob*>(p))
            answer.strPassword = pRead->textData().toStdString();
        bAnswered = true;
        loop.quit();
    });
    QTimer::singleShot(timeout, &loop, [&loop] { loop.quit(); });
    pJob->setAutoDelete(true);
    pJob->start();
    if (!bAnswered) loop.exec();
    if (!bAnswered) return CProblem("the desktop keyring did not answer in time");
    return answer;
}

CProblem KeyringProblem(const CJobAnswer& answer) {
    return CProblem("the desktop keyring: " + (answer.strWhy.empty() ? std::string("unknown error") : answer.strWhy));
}

}  // namespace

bool CKeyringPasswordStore::SessionBusAvailable() {
    if (const char* psz = std::getenv("DBUS_SESSION_BUS_ADDRESS"); psz && *psz) return true;
    const char* pszRuntime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    return pszRuntime && *pszRuntime && ::stat((std::string(pszRuntime) + "/bus").c_str(), &st) == 0 &&
           S_ISSOCK(st.st_mode);
}

CResult<std::optional<std::string>> CKeyringPasswordStore::Read(const std::string& strKey) {
    auto* pJob = new QKeychain::ReadPasswordJob(kService);
    pJob->setKey(QString::fromStdString(strKey));
    QUILLORY_TRY_VALUE(const CJobAnswer answer, RunJob(pJob, m_timeout));
    if (answer.error == QKeychain::EntryNotFound) return std::optional<std::string>();
    if (answer.error != QKeychain::NoError) return KeyringProblem(answer);
    return std::optional<std::string>(answer.strPassword);
}

CResult<> CKeyringPasswordStore::Write(const std::string& strKey, const std::string& strPassword) {
    auto* pJob = new QKeychain::WritePasswordJob(kService);
    pJob->setKey(QString::fromStdString(strKey));
    pJob->setTextData(QString::fromStdString(strPassword));
    QUILLORY_TRY_VALUE(const CJobAnswer answer, RunJob(pJob, m_timeout));
    if (answer.error != QKeychain::NoError) return KeyringProblem(answer);
    return {};
}

CResult<> CKeyringPasswordStore::Remove(const std::string& strKey) {
    auto* pJob = new QKeychain::DeletePasswordJob(kService);
    pJob->setKey(QString::fromStdString(strKey));
    QUILLORY_TRY_VALUE(const CJobAnswer answer, RunJob(pJob, m_timeout));
    if (answer.error != QKeychain::NoError && answer.error != QKeychain::EntryNotFound) return KeyringProblem(answer);
    return {};
}
