#pragma once
#include <functional>
#include <string>

#include "CResult.h"
#include "CTaskItem.h"
#include "MailHostOM.h"

// Sending one occurrence of a task through the host's object model. Every
// failure ends the attempt silently; the caller advances the task anyway.

// Waits the given milliseconds while receiving runs. The default keeps the
// host's event loop running (the scheduler's busy flag keeps its ticks out).
using CWaitFn = std::function<void(int nMilliseconds)>;

void SendTask(_Application* pApplication, const CTaskItem& task, const CWaitFn& fnWait = {});
// Attaches the files the task's entries name now. The problem is an item
// whose attachments cannot be had.
CResult<> AddAttachments(_MailItem* pMailItem, const CTaskItem& task);
void ReceiveEmails(_Application* pApplication, const CWaitFn& fnWait = {});
