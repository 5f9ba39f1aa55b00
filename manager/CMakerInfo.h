#pragma once

// The maker's addresses shown in the About window and the manager's menu.
namespace CMakerInfo {
inline constexpr const char* kWebSite = "https://tarnwick-software.example/quillory/";
inline constexpr const char* kSupportPage = "https://tarnwick-software.example/quillory/support/";
inline constexpr const char* kSupportMail = "support@tarnwick-software.example";
}  // namespace CMakerInfo
