#pragma once
// What another program leaves for the headless host: the account it sends
// through, and messages put straight into its Outbox.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "CMailStore.h"
#include "CTempDir.h"

// The account of the host whose home is dir: a loopback server, no TLS.
inline void WriteLoopbackAccount(const CTempDir& dir, int nPort) {
    CTempDir::WriteFile(dir / "config/mailhost/accounts.ini",
                        "[Account]\nAddress = sender@example.org\nSmtpUrl = smtp://127.0.0.1:" + std::to_string(nPort) +
                            "\nSecurity = none\n");
}

// One message in the Outbox of the host whose home is dir.
inline void QueueInOutbox(const CTempDir& dir, CMailMessage msg) {
    CMailStore store(dir / "data/mailhost");
    ASSERT_TRUE(store.Open().Ok());
    if (msg.strBody.empty()) msg.strBody = "body\n";
    std::string strId;
    ASSERT_TRUE(store.Save(EMailFolder::Outbox, msg, strId).Ok());
}
