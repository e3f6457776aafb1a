#include "dialup/NetDialTexts.h"

#include <iterator>

namespace cvb {

namespace {

struct TextRow
{
    int code;
    const char *text;
};

// The component's own codes first, then every error code of the remote access service.
const TextRow kErrorTexts[] = {
    {0, "Ok"},
    {8, "Not enough memory"},
    {200, "Can't load the RASAPI library."},
    {201, "Can't access the functions in RASPI library, corrupted file?"},
    {600, "An operation is pending."},
    {601, "The port handle is invalid."},
    {602, "The port is already open."},
    {603, "The caller's buffer is too small."},
    {604, "Wrong information was specified."},
    {605, "The port information cannot be set."},
    {606, "The port is not connected."},
    {607, "The event is invalid."},
    {608, "The device does not exist."},
    {609, "The device type does not exist."},
    {610, "The buffer is invalid."},
    {611, "The route is not available."},
    {612, "The route is not allocated."},
    {613, "An invalid compression was specified."},
    {614, "There are not enough buffers available."},
    {615, "The port was not found."},
    {616, "An asynchronous request is pending."},
    {617, "The port or device is already disconnecting."},
    {618, "The port is not open."},
    {619, "The port is disconnected."},
    {620, "There are no endpoints."},
    {621, "Cannot open the phone book file."},
    {622, "Cannot load the phone book file."},
    {623, "Cannot find the phone book entry."},
    {624, "Cannot write the phone book file."},
    {625, "Invalid information was found in the phone book file."},
    {626, "Cannot load a string."},
    {627, "Cannot find a key."},
    {628, "The port was disconnected."},
    {629, "The port was disconnected by the remote machine."},
    {630, "The port was disconnected because of a hardware failure."},
    {631, "The port was disconnected by the user."},
    {632, "The structure size is incorrect."},
    {633, "The port is already in use or is not configured for remote access dial-out."},
    {634, "Cannot register your computer on the remote network."},
    {635, "An unknown error has occurred."},
    {636, "The wrong device is attached to the port."},
    {637, "The string could not be converted."},
    {638, "The request has timed out."},
    {639, "No asynchronous network is available."},
    {640, "A NetBIOS error has occurred."},
    {641, "The server cannot allocate the NetBIOS resources needed to support the client."},
    {642, "One of your computer's NetBIOS names is already registered on the remote network."},
    {643, "A network adapter at the server failed."},
    {644, "You will not receive network message pop-ups."},
    {645, "An internal authentication error has occurred."},
    {646, "The account is not permitted to log on at this time of day."},
    {647, "The account is disabled."},
    {648, "The password has expired."},
    {649, "The account does not have permission to dial in."},
    {650, "The remote access server is not responding."},
    {651, "The modem or other connecting device has reported an error."},
    {652, "There was an unrecognized response from the device."},
    {653, "A macro required by the device was not found in the device's script file section."},
    {654, "A command or response in the device's script file section refers to an undefined macro."},
    {655, "The <message> macro was not found in the device's script file section."},
    {656, "The <defaultoff> macro in the device's script file section contains an undefined macro."},
    {657, "The device's script file could not be opened."},
    {658, "The device name in the device's script file or the media settings file is too long."},
    {659, "The media settings file refers to an unknown device name."},
    {660, "The device's script file contains no responses for the command."},
    {661, "The device's script file is missing a command."},
    {662, "An attempt was made to set a macro not listed in the device's script file section."},
    {663, "The media settings file refers to an unknown device type."},
    {664, "Cannot allocate memory."},
    {665, "The port is not configured for remote access."},
    {666, "The modem or other connecting device is not functioning."},
    {667, "Cannot read the media settings file."},
    {668, "The connection was dropped."},
    {669, "The usage parameter in the media settings file is invalid."},
    {670, "Cannot read the section name from the media settings file."},
    {671, "Cannot read the device type from the media settings file."},
    {672, "Cannot read the device name from the media settings file."},
    {673, "Cannot read the usage from the media settings file."},
    {674, "Cannot read the maximum connection speed from the media settings file."},
    {675, "Cannot read the maximum carrier speed from the media settings file."},
    {676, "The line is busy."},
    {677, "A person answered instead of a modem."},
    {678, "There is no answer."},
    {679, "Cannot detect a carrier."},
    {680, "There is no dial tone."},
    {681, "The device reported a general error."},
    {682, "Cannot write the section name."},
    {683, "Cannot write the device type."},
    {684, "Cannot write the device name."},
    {685, "Cannot write the maximum connection speed."},
    {686, "Cannot write the maximum carrier speed."},
    {687, "Cannot write the usage."},
    {688, "Cannot write the default-off setting."},
    {689, "Cannot read the default-off setting."},
    {690, "The media settings file is empty."},
    {691, "Access denied because username and/or password is invalid on the domain."},
    {692, "There is a hardware failure in the port or the attached device."},
    {693, "The macro is not a binary macro."},
    {694, "The device control block was not found."},
    {695, "The state machines are not started."},
    {696, "The state machines are already started."},
    {697, "The partial response is looping."},
    {698, "A response key name in the device's script file is not in the expected format."},
    {699, "The device's response caused a buffer overflow."},
    {700, "The expanded command in the device's script file is too long."},
    {701, "The device moved to a speed not supported by the serial port driver."},
    {702, "A response was received from the device when none was expected."},
    {703,
     "The connection needs information from the user, but the application does not allow user interaction."},
    {704, "The callback number is invalid."},
    {705, "The authentication state is invalid."},
    {706, "Cannot write the initial speed."},
    {707, "An X.25 diagnostic indication was received."},
    {708, "The account has expired."},
    {709, "An error occurred while changing the password on the domain."},
    {710, "Serial overrun errors were detected while communicating with the modem."},
    {711, "The remote access connection manager could not be started."},
    {712, "The two-way port is initializing; wait a few seconds and redial."},
    {713, "No active ISDN lines are available."},
    {714, "No ISDN channels are available to make the call."},
    {715, "Too many errors occurred because of poor phone line quality."},
    {716, "The remote access IP configuration is unusable."},
    {717, "No IP addresses are available in the static pool of remote access IP addresses."},
    {718, "Timed out waiting for a valid response from the remote PPP peer."},
    {719, "PPP was terminated by the remote machine."},
    {720, "No PPP control protocols are configured."},
    {721, "The remote PPP peer is not responding."},
    {722, "The PPP packet is invalid."},
    {723, "The phone number, including prefix and suffix, is too long."},
    {724, "The IPX protocol cannot dial out on the port because the computer is an IPX router."},
    {725, "The IPX protocol cannot dial in on the port because the IPX router is not installed."},
    {726, "The IPX protocol cannot be used for dial-out on more than one port at a time."},
    {727, "Cannot access the TCP/IP configuration library."},
    {728, "Cannot find an IP adapter bound to remote access."},
    {729, "SLIP cannot be used unless the IP protocol is installed."},
    {730, "The registration of the computer on the remote network is not complete."},
    {731, "The protocol is not configured."},
    {732, "The PPP negotiation is not converging."},
    {733, "The PPP control protocol for this network protocol is not available on the server."},
    {734, "The PPP link control protocol was terminated."},
    {735, "The requested address was rejected by the server."},
    {736, "The remote computer terminated the control protocol."},
    {737, "A loopback was detected."},
    {738, "The server did not assign an address."},
    {739, "The authentication protocol required by the remote server cannot use the stored logon password."},
    {740, "The telephony devices configured for remote access failed to initialize or were not installed "
          "correctly."},
    {741, "The local computer does not support the required encryption type."},
    {742, "The remote computer does not support the required encryption type."},
    {743, "The remote computer requires encryption."},
    {744, "The IPX network number assigned by the remote server cannot be used."},
    {745, "ERROR_INVALID_SMM"},
    {746, "ERROR_SMM_UNINITIALIZED"},
    {747, "ERROR_NO_MAC_FOR_PORT"},
    {748, "ERROR_SMM_TIMEOUT"},
    {749, "ERROR_BAD_PHONE_NUMBER"},
    {750, "ERROR_WRONG_MODULE"},
    {751, "The callback number contains an invalid character."},
    {752, "A syntax error was found while processing a script."},
};
static_assert(std::size(kErrorTexts) == 157);

const TextRow kStatusTexts[] = {
    {0, "Open port"},
    {1, "Port opened"},
    {2, "Connect device"},
    {3, "Device connected"},
    {4, "All devices connected"},
    {5, "Authenticate"},
    {6, "Authenticate: notify"},
    {7, "Authentication: retry"},
    {8, "Authentication: callback"},
    {9, "Authentication: change password"},
    {10, "Authentication: project"},
    {11, "Authentication: link speed"},
    {12, "Authentication: acknowledge"},
    {13, "Reauthentication"},
    {14, "Authenticated"},
    {15, "Prepare for callback"},
    {16, "Wait for modem reset"},
    {17, "Wait for modem callback"},
    {18, "Projected"},
    {19, "Start authentication"},
    {20, "Callback complete"},
    {21, "Logon network"},
    {4096, "Interactive"},
    {4097, "Retry authentication"},
    {4098, "Callback set by Caller"},
    {4099, "Password expired"},
    {8192, "Connected"},
    {8193, "Disconnected"},
};

template <std::size_t N> const char *Find(const TextRow (&rows)[N], int code)
{
    for (const TextRow &row : rows)
        if (row.code == code)
            return row.text;
    return nullptr;
}

} // namespace

QString NetDialErrorText(int code)
{
    if (const char *text = Find(kErrorTexts, code))
        return QString::fromLatin1(text);
    return QStringLiteral("Unknown error code ") + QString::number(code);
}

QString NetDialStatusText(int state)
{
    if (const char *text = Find(kStatusTexts, state))
        return QString::fromLatin1(text);
    return QStringLiteral("Unknown status code ") + QString::number(state);
}

} // namespace cvb
