// The error codes of the FTP component and its data connections. Each comes with a text of its
// own; the socket layer's codes, the TLS codes and the line layer's interruption
// (CIPPortMsg::kInterrupted) pass through as they are.
#pragma once

namespace cvb {

// A reply starting with 4 or 5 or with anything but a digit from 1 to 5 (the text is the reply
// line); also a PASV reply that is no 227, passed to OnError only.
inline constexpr int kFtpReplyRefused = 141;
// A connect or disconnect event with an error, passed to OnError only.
inline constexpr int kFtpConnectionEvent = 142;
// An action, RemotePath or TransferMode set while an action runs.
inline constexpr int kFtpBusy = 143;
// An upload's local file failed to read or seek during the transfer.
inline constexpr int kFtpUploadFileFailed = 144;
// An upload without a local file, or with one that cannot be opened.
inline constexpr int kFtpNoUploadFile = 145;
// A download's local file failed to open, write or close.
inline constexpr int kFtpDownloadFileFailed = 146;
// A listing longer than the component takes in.
inline constexpr int kFtpListingTooLong = 148;
// The server refused AUTH TLS, or the connection is not encrypted: the account was not sent.
inline constexpr int kFtpTlsRefused = 160;
// The data connection: accepting it failed, or its notifications could not be asked for.
inline constexpr int kFtpAcceptFailed = 311;
inline constexpr int kFtpSelectFailed = 312;
// A data connection from another address than the server's was turned away.
inline constexpr int kFtpForeignDataPeer = 313;

} // namespace cvb
