#pragma once

// Fixed texts the program shares with the job service, its users and their
// habits. They are spelled as they always were, misspellings included:
// whoever matches or looks for them finds them only so.
namespace SystemTexts {

// The message of a profile that cannot be read; "Loding" is the system's own spelling: keep it.
inline constexpr char errorLodingUserProfile[] = "Error Loding User Profile";

// The word of a confirmed status update; "Sucessful" is the system's own spelling: keep it.
inline constexpr char sucessful[] = "Sucessful";

// Connection state 3; "connectiong" is the system's own spelling: keep it.
inline constexpr char stateConnecting[] = "The control is connectiong to the host computer";

// Connection state 9; "disconnection from" is the system's own wording: keep it.
inline constexpr char stateDisconnecting[] = "The control is disconnection from the host computer";

// Connection state 11; "occured" is the system's own spelling: keep it.
inline constexpr char stateError[] = "An error occured in communicating with the host computer";

// The profile settings' tab of the naming rules; "Storeage" is the system's own spelling: keep it.
inline constexpr char fileStoreageRules[] = "File Storeage Rules";

} // namespace SystemTexts
