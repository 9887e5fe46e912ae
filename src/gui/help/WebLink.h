#pragma once

// The maker's web site, opened in the user's browser from the Help menu and the About box.
namespace WebLink {

inline constexpr char WebAddress[] = "https://www.example.com/kestrel/";

// Asks the desktop to open WebAddress, with the wait cursor shown during the call. A failure
// is not reported.
void open();

} // namespace WebLink
