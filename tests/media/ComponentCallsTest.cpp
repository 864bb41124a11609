// The calls the component makes into the media library, against a recording
// stand-in: activation and deactivation order, the local stream rules,
// constraints, descriptions, candidates and remote streams.
#include "media/MediaLibraryLoader.h"
#include "media/WebrtcClientVcl.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

namespace corvala {
namespace {

using Lines = std::vector<std::string>;

// The recording library's own functions, found in the copy the loader opened.
struct Recorder {
    Recorder()
    {
        handle = dlopen(qgetenv("CORVALA_ENGINE").constData(), RTLD_NOW | RTLD_NOLOAD);
        if (!handle)
            handle = dlopen(qgetenv("CORVALA_ENGINE").constData(), RTLD_NOW);
    }
    template <typename F>
    F Get(const char* name) const { return reinterpret_cast<F>(dlsym(handle, name)); }

    void Reset() const { Get<void (*)()>("rtc_fake_reset")(); }
    Lines Log() const
    {
        Lines lines;
        const int n = Get<int (*)()>("rtc_fake_log_size")();
        for (int i = 0; i < n; ++i)
            lines.emplace_back(Get<const char* (*)(int)>("rtc_fake_log_line")(i));
        return lines;
    }
    void SetCameras(int n) const { Get<void (*)(int)>("rtc_fake_set_cameras")(n); }
    void SetSdp(const char* type, const char* text) const { Get<void (*)(const char*, const char*)>("rtc_fake_set_sdp")(type, text); }
    void SetCandidate(int index, const char* mid, const char* line) const
    {
        Get<void (*)(int, const char*, const char*)>("rtc_fake_set_candidate")(index, mid, line);
    }
    void SetStreamTracks(rtc_handle video, rtc_handle audio) const
    {
        Get<void (*)(rtc_handle, rtc_handle)>("rtc_fake_set_stream_tracks")(video, audio);
    }
    const SDPCallback& SdpRecord() const { return *Get<const SDPCallback* (*)()>("rtc_fake_sdp_record")(); }
    const PeerConnectionCallback& PcRecord() const { return *Get<const PeerConnectionCallback* (*)()>("rtc_fake_pc_record")(); }
    const VideoRendererCallback& Renderer() const { return *Get<const VideoRendererCallback* (*)()>("rtc_fake_renderer")(); }

    void* handle = nullptr;
};

// Each test starts from an empty log with a fresh component: its default
// audio module is handle 1, and the library hands out 2, 3, ... from there.
class Calls : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(recorder.handle, nullptr);
        recorder.SetCameras(0);
        recorder.SetStreamTracks(0, 0);
        recorder.Reset();
        rtc = std::make_unique<TWebRtcClientVcl>(QString());
    }
    void TearDown() override
    {
        if (rtc)
            rtc->SetActive(false);
    }
    Lines Since(std::size_t from) const
    {
        const Lines all = recorder.Log();
        return Lines(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
    }
    std::size_t Mark() const { return recorder.Log().size(); }

    // A host's settings: the screen at 1920x1080, 10 frames per second.
    void HostSettings()
    {
        rtc->IceServers = {{"stun:127.0.0.1:3478", "", ""}, {"turn:127.0.0.1", "u", "p"}};
        rtc->CameraId = RTC_SOURCE_SCREEN;
        rtc->VideoConstraints.MaxWidth = 1920;
        rtc->VideoConstraints.MaxHeight = 1080;
        rtc->VideoConstraints.MaxFramerate = 10;
    }

    Recorder recorder;
    std::unique_ptr<TWebRtcClientVcl> rtc;
};

TEST_F(Calls, LaterComponentsDoNotInitialiseTheLibraryAgain)
{
    recorder.Reset();
    TWebRtcClientVcl second{QString()};
    EXPECT_EQ(recorder.Log(), (Lines{"rtc_set_debug_level 2", "rtc_create_audio_module = 1"}));
}

TEST_F(Calls, HostActivationBuildsEverythingInOrder)
{
    HostSettings();
    rtc->PeerConnectionConstraints.ReceiveVideo = false;
    const auto from = Mark();
    rtc->SetActive(true);
    EXPECT_EQ(Since(from), (Lines{
        "rtc_create_factory 1 = 2",
        "rtc_create_iceservers = 3",
        "rtc_add_iceserver 3 \"stun:127.0.0.1:3478\" \"\" \"\"",
        "rtc_add_iceserver 3 \"turn:127.0.0.1\" \"u\" \"p\"",
        "rtc_create_constraints = 4",
        "rtc_get_options 4 1 = 5",
        "rtc_add_option 5 \"OfferToReceiveAudio\" \"true\"",
        "rtc_add_option 5 \"OfferToReceiveVideo\" \"false\"",
        "rtc_get_options 4 0 = 6",
        "rtc_add_option 6 \"DtlsSrtpKeyAgreement\" \"true\"",
        "rtc_create_stream 2 \"ARDAMS\" = 7",
        "rtc_capturer_count = 0",
        "rtc_create_constraints = 8",
        "rtc_get_options 8 1 = 9",
        "rtc_add_option 9 \"maxHeight\" \"1080\"",
        "rtc_add_option 9 \"maxWidth\" \"1920\"",
        "rtc_add_option 9 \"maxFrameRate\" \"10\"",
        "rtc_create_source 1920 1080 10 999 0 = 10",
        "rtc_destroy_constraints 8",
        "rtc_create_videotrack 2 10 \"ARDAMSv0\" = 11",
        "rtc_add_videotrack 7 11",
        "rtc_create_audiotrack 2 \"ARDAMSa0\" = 12",
        "rtc_add_audiotrack 7 12",
        "rtc_add_renderer 11",
    }));
    EXPECT_TRUE(rtc->VideoCallEnabled);
}

// Everything an activation made goes, the screen source too (it holds an X
// connection and a capture thread of its own).
TEST_F(Calls, DeactivationClosesPeersThenReleasesSharedObjects)
{
    HostSettings();
    rtc->SetActive(true);
    rtc->AddPeer("111111111", rtc->FindEndPoint());  // pc 13, channel 14
    rtc->AddPeer("222222222", rtc->FindEndPoint());  // pc 15, channel 16
    const auto from = Mark();
    rtc->SetActive(false);
    EXPECT_EQ(Since(from), (Lines{"rtc_close 13", "rtc_close 15", "rtc_destroy_stream 7", "rtc_destroy_constraints 4",
                                  "rtc_destroy_iceservers 3", "rtc_destroy_factory 2", "rtc_destroy_source 10"}));
}

TEST_F(Calls, AddPeerMakesConnectionChannelAndAddsTheLocalStream)
{
    HostSettings();
    rtc->SetActive(true);
    const auto from = Mark();
    const auto peer = rtc->AddPeer("111111111", rtc->FindEndPoint());
    EXPECT_EQ(Since(from), (Lines{"rtc_create_peerconnection 2 3 = 13", "rtc_create_datachannel 13 \"DataChannel\" = 14",
                                  "rtc_add_stream 13 7"}));
    EXPECT_EQ(peer->getLocalVideoTrack(), 11u);
    EXPECT_EQ(peer->getLocalAudioTrack(), 12u);
    // Text goes as its bytes, exactly.
    const auto sent = Mark();
    peer->SendDataToPeer("DISCONNECT");
    EXPECT_EQ(Since(sent), (Lines{"rtc_send_data 14 10 \"DISCONNECT\""}));
}

// Source sizes and frame rates handed to the library.
struct SourceCase {
    const char* name;
    int cameraId, cameras, maxWidth, maxHeight, maxFps, minFps;
    const char* sourceCall;  // nullptr: no source is made
    bool videoStays;
};

const SourceCase kSourceCases[] = {
    {"ScreenDefaults", 999, 0, 0, 0, 0, 0, "rtc_create_source 640 480 30 999 0", true},
    {"WindowWithLimits", 998, 0, 800, 600, 15, 0, "rtc_create_source 800 600 15 998 0", true},
    {"MinimumRateWinsOverMaximum", 999, 0, 0, 0, 15, 5, "rtc_create_source 640 480 5 999 0", true},
    {"CameraWithoutCamerasSwitchesVideoOff", 0, 0, 0, 0, 0, 0, nullptr, false},
    {"CameraOneWhenThereAreTwo", 1, 2, 0, 0, 0, 0, "rtc_create_source 640 480 30 1 0", true},
    {"ProgramFedSource", 1000, 0, 320, 240, 0, 0, "rtc_create_virtual_source 320 240 30", true},
};

class Sources : public Calls, public testing::WithParamInterface<SourceCase> {};

TEST_P(Sources, LocalStreamFollowsTheCameraRule)
{
    const SourceCase& c = GetParam();
    recorder.SetCameras(c.cameras);
    rtc->CameraId = c.cameraId;
    rtc->VideoConstraints = {c.maxWidth, c.maxHeight, c.maxFps, c.minFps};
    rtc->SetActive(true);
    EXPECT_EQ(rtc->VideoCallEnabled.load(), c.videoStays);
    bool made = false;
    for (const auto& line : recorder.Log())
        if (line.rfind("rtc_create_source", 0) == 0 || line.rfind("rtc_create_virtual_source", 0) == 0) {
            made = true;
            EXPECT_EQ(line.substr(0, line.rfind(" = ")), c.sourceCall);
        }
    EXPECT_EQ(made, c.sourceCall != nullptr);
    EXPECT_EQ(rtc->LocalVideoTrack() != 0, c.videoStays);
    EXPECT_NE(rtc->LocalAudioTrack(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Cases, Sources, testing::ValuesIn(kSourceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Calls, FileAudioSourceFeedsTheFactoryInsteadOfTheMicrophone)
{
    rtc->SetAudioSource(TWebRtcClientVcl::kAudioSourceFile);
    rtc->LocalAudioFile = "/tmp/voice.wav";
    rtc->SetAudioSource(TWebRtcClientVcl::kAudioSourceFile);
    rtc->SetAudioSource(3);
    rtc->SetAudioSource(TWebRtcClientVcl::kAudioSourceFile);
    const auto from = Mark();
    rtc->SetActive(true);
    const Lines log = Since(from);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "rtc_create_file_audio_module \"/tmp/voice.wav\" = 2");
    EXPECT_EQ(log[1], "rtc_create_factory 2 = 3");
    // Only the real device index reached the library.
    int selections = 0;
    for (const auto& line : recorder.Log())
        selections += line.rfind("rtc_set_audio_source", 0) == 0;
    EXPECT_EQ(selections, 1);
}

TEST_F(Calls, IceServersAddedWhileActiveGoToTheLiveList)
{
    rtc->AddNewIceServer("turn:127.0.0.1:3478", "a", "b");
    EXPECT_EQ(Mark(), 2u);  // nothing while inactive
    rtc->SetActive(true);
    const auto from = Mark();
    rtc->AddNewIceServer("turn:127.0.0.1:3478", "a", "b");
    EXPECT_EQ(Since(from), (Lines{"rtc_add_iceserver 3 \"turn:127.0.0.1:3478\" \"a\" \"b\""}));
}

class PeerCalls : public Calls {
protected:
    void SetUp() override
    {
        Calls::SetUp();
        rtc->AudioCodec = TAudioCodec::ISAC;
        // Factory 2, ICE list 3, constraints 4, stream 7, no camera so no video,
        // audio track 8; the peer gets connection 9 and channel 10.
        rtc->SetActive(true);
        peer = rtc->AddPeer("111111111", rtc->FindEndPoint());
        rtc->OnSdpCreateSuccess = [this](TPeer* sender, const QString& type, const QString& text) {
            senders.push_back(sender);
            reported.emplace_back(type.toStdString(), text.toStdString());
        };
    }
    std::shared_ptr<TPeer> peer;
    std::vector<TPeer*> senders;
    std::vector<std::pair<std::string, std::string>> reported;
};

const char* const kEngineOffer =
    "v=0\r\nm=audio 9 UDP/TLS/RTP/SAVPF 111 103\r\na=rtpmap:111 opus/48000/2\r\na=rtpmap:103 ISAC/16000\r\n";
const char* const kIsacFirst =
    "v=0\r\nm=audio 9 UDP/TLS/RTP/SAVPF 103 111\r\na=rtpmap:111 opus/48000/2\r\na=rtpmap:103 ISAC/16000\r\n";

TEST_F(PeerCalls, CreatedDescriptionIsAppliedAsMadeAndReportedRewritten)
{
    recorder.SetSdp("offer", kEngineOffer);
    ASSERT_TRUE(rtc->CreateOffer("111111111"));
    const SDPCallback record = recorder.SdpRecord();
    ASSERT_EQ(record.arg, peer.get());
    const auto from = Mark();
    record.create_sdp(record.arg, 42, 0);
    const std::string pc = std::to_string(peer->FPc);
    EXPECT_EQ(Since(from), (Lines{"rtc_set_sdp " + pc + " 42 1", "rtc_get_sdp 42"}));
    EXPECT_EQ(senders, std::vector<TPeer*>{peer.get()});
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], std::make_pair(std::string("offer"), std::string(kIsacFirst)));

    // A failed creation is dropped without a call or an event.
    const auto failed = Mark();
    record.create_sdp(record.arg, 0, 1);
    EXPECT_EQ(Since(failed), Lines{});
    EXPECT_EQ(reported.size(), 1u);
}

TEST_F(PeerCalls, ReceivedDescriptionIsRewrittenBeforeItIsApplied)
{
    rtc->AudioBitrate = 32;
    const auto from = Mark();
    ASSERT_TRUE(rtc->CreateAnswer("111111111", "offer", kEngineOffer));
    const std::string pc = std::to_string(peer->FPc);
    const Lines log = Since(from);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "rtc_create_sdp \"offer\" \"v=0\r\nm=audio 9 UDP/TLS/RTP/SAVPF 103 111\r\n"
                      "a=rtpmap:111 opus/48000/2\r\na=fmtp:111 maxaveragebitrate=32000\r\n"
                      "a=rtpmap:103 ISAC/16000\r\n\" = 11");
    EXPECT_EQ(log[1], "rtc_set_sdp " + pc + " 11 0");
    EXPECT_EQ(log[2], "rtc_create_answer " + pc);
}

TEST_F(PeerCalls, CandidatesAreReadAndReportedWithTheirPeer)
{
    std::vector<std::tuple<TPeer*, int, std::string, std::string>> candidates;
    rtc->OnIceCandidate = [&](TPeer* sender, int label, const QString& mid, const QString& line) {
        candidates.emplace_back(sender, label, mid.toStdString(), line.toStdString());
    };
    // One line longer than the buffer: it is cut at 4095 bytes.
    const std::string longLine = "candidate:" + std::string(5000, 'x');
    recorder.SetCandidate(1, "video1", longLine.c_str());
    const PeerConnectionCallback record = recorder.PcRecord();
    ASSERT_EQ(record.arg, peer.get());
    EXPECT_EQ(record.icegathering_changed, nullptr);
    record.generate_icecandidate(record.arg, 77);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(std::get<0>(candidates[0]), peer.get());
    EXPECT_EQ(std::get<1>(candidates[0]), 1);
    EXPECT_EQ(std::get<2>(candidates[0]), "video1");
    EXPECT_EQ(std::get<3>(candidates[0]), longLine.substr(0, 4095));

    rtc->OnIceCandidate = nullptr;
    const auto from = Mark();
    record.generate_icecandidate(record.arg, 78);
    EXPECT_EQ(Since(from), Lines{});  // not even read without a handler

    EXPECT_TRUE(rtc->AddIceCandidate("111111111", "video1", 1, "candidate:1 1 UDP 1 127.0.0.1 9 typ host"));
    EXPECT_EQ(Since(from)[0], "rtc_create_candidate \"video1\" 1 \"candidate:1 1 UDP 1 127.0.0.1 9 typ host\" = 11");
}

TEST_F(PeerCalls, RemoteStreamRegistersTheRendererForItsPeer)
{
    std::vector<TPeer*> added;
    rtc->OnAddRemoteStream = [&](TPeer* sender) { added.push_back(sender); };
    recorder.SetStreamTracks(31, 32);
    const PeerConnectionCallback record = recorder.PcRecord();
    record.add_stream(record.arg, 30);
    EXPECT_EQ(added, std::vector<TPeer*>{peer.get()});
    EXPECT_EQ(peer->getRemoteVideoTrack(), 31u);
    EXPECT_EQ(peer->getRemoteAudioTrack(), 32u);
    EXPECT_EQ(recorder.Renderer().arg, peer.get());

    // A newer stream of the same peer releases the older one; the peer's
    // own stream goes when the peer is closed.
    const auto from = Mark();
    record.add_stream(record.arg, 40);
    EXPECT_EQ(Since(from)[0], "rtc_destroy_stream 30");
    const auto closing = Mark();
    rtc->EndCall("111111111");
    EXPECT_EQ(Since(closing), (Lines{"rtc_destroy_stream 40", "rtc_close " + std::to_string(peer->FPc)}));
}

TEST_F(PeerCalls, ChannelOpenedByTheOtherSideIsObservedWithThePeersRecord)
{
    const PeerConnectionCallback record = recorder.PcRecord();
    const auto from = Mark();
    record.open_datachannel(record.arg, 55);
    EXPECT_EQ(Since(from), Lines{"rtc_datachannel_observe 55"});
    EXPECT_EQ(peer->FReceiveChannel.load(), 55u);
}

TEST_F(Calls, TrackStateAndAudioDevicesGoToTheLibrary)
{
    const auto from = Mark();
    rtc->SetTrackState(12, false);
    rtc->SetTrackState(12, true);
    EXPECT_EQ(rtc->GetAudioSourceCount(), 2);
    EXPECT_EQ(rtc->GetAudioSourceName(0), QString::fromUtf8("Mikrofon \xc3\xbc"));
    EXPECT_EQ(Since(from), (Lines{"rtc_track_setstate 12 0", "rtc_track_setstate 12 1", "rtc_audio_source_count 1",
                                  "rtc_audio_source_name 1 0"}));
}

} // namespace
} // namespace corvala
