#pragma once
#include <functional>
#include <string>

#include "CTaskItem.h"
#include "MailHostOM.h"

// Sending one occurrence of a task through the host's object model. Every
// failure ends the attempt silently; the caller advances the task anyway.

// Waits the given milliseconds while receiving runs. The default keeps the
// host's event loop running (the scheduler's busy flag keeps its ticks out).
using CWaitFn = std::function<void(int nMilliseconds)>;

void SendTask(_Application* pApplication, const CTaskItem& task, const CWaitFn& fnWait = {});
// -1 when the item's attachments cannot be had, else 0.
int AddAttachments(_MailItem* pMailItem, const CTaskItem& task);
void ReceiveEmails(_Application* pApplication, const CWaitFn& fnWait = {});
