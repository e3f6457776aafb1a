// The vendor's web address: the closing lines of the report mails send readers there, and the
// logo pictures and link labels of the windows open it.
#pragma once

namespace cvb {

inline constexpr const char *kVendorWebAddress = "https://www.corvale.example/";

} // namespace cvb
