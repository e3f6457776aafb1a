// Texts of the dial-up component: the remote access service's error codes and connection states.
#pragma once
#include <QString>

namespace cvb {

// "Ok" for 0, the text of a known code, otherwise "Unknown error code " and the code.
QString NetDialErrorText(int code);

// The text of a connection state, otherwise "Unknown status code " and the state.
QString NetDialStatusText(int state);

} // namespace cvb
