#pragma once
// Text edits of session descriptions that steer codec choice and bitrates
// without help from the media engine.
//
// Both routines return their input byte for byte when they find nothing to do;
// when they change something every line of the result ends with CR LF.

#include <string>
#include <vector>

namespace corvala {

// Moves the codec's payload type to the front of the format list of the first
// "m=audio " (audio) or "m=video " (video) line.
std::string PreferCodec(const std::string& sdp, const std::string& codec, bool audio);

// Adds a start bitrate (video, kbit/s) or an average bitrate (audio, the
// kbit/s value times 1000) to the format parameter lines of the codec's
// payload type, inserting such a line when there is none.
std::string SetCodecBitrate(const std::string& codec, bool video, int bitrate, const std::string& sdp);

// The line model both routines share: split at CR LF, lone LF or lone CR; a
// final line break does not make an empty last line.
std::vector<std::string> SplitSdpLines(const std::string& sdp);
std::string JoinSdpLines(const std::vector<std::string>& lines);

} // namespace corvala
