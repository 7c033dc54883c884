// SPDX-License-Identifier: GPL-3.0-or-later
// Sound from an ALSA capture PCM. Opened non-blocking so that the capture
// thread never sleeps in the driver for long; overruns are recovered from
// in silence, the lost sound simply missing from the buffers.
#include <alsa/asoundlib.h>
#include <cerrno>
#include <thread>

#include "platform/alsa/device.h"

struct AlsaInput {
    snd_pcm_t* pcm;
};

namespace {

// Room for delays on a busy machine; "default" and plughw convert the
// rate and format for us.
constexpr unsigned latencyMicroseconds = 100000;
constexpr int waitMilliseconds = 20;

MMRESULT OpenAlsa(PlatformWaveIn* device, const std::string& name, DWORD rate,
                  const std::shared_ptr<RecordingInput>&)
{
    snd_pcm_t* pcm = nullptr;
    int error = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (error < 0)
        return error == -EBUSY ? MMSYSERR_ALLOCATED : MMSYSERR_BADDEVICEID;
    error = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, rate,
                               1, latencyMicroseconds);
    if (error < 0) {
        snd_pcm_close(pcm);
        return WAVERR_BADFORMAT;
    }
    device->alsa = new AlsaInput{pcm};
    return MMSYSERR_NOERROR;
}

void BeginAlsa(PlatformWaveIn* device)
{
    snd_pcm_t* pcm = device->alsa->pcm;
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED)
        snd_pcm_prepare(pcm);
    snd_pcm_start(pcm);
}

void HaltAlsa(PlatformWaveIn* device)
{
    snd_pcm_drop(device->alsa->pcm);
}

long ReadAlsa(PlatformWaveIn* device, std::int16_t* samples, long frames)
{
    snd_pcm_t* pcm = device->alsa->pcm;
    snd_pcm_sframes_t got = snd_pcm_readi(pcm, samples, static_cast<snd_pcm_uframes_t>(frames));
    if (got == -EAGAIN) {
        snd_pcm_wait(pcm, waitMilliseconds);
        got = snd_pcm_readi(pcm, samples, static_cast<snd_pcm_uframes_t>(frames));
        if (got == -EAGAIN)
            return 0;
    }
    if (got >= 0)
        return static_cast<long>(got);
    // Overrun or suspend: prepare again and carry on. A device that cannot
    // recover (unplugged) is retried slowly until it is closed.
    if (snd_pcm_recover(pcm, static_cast<int>(got), 1) < 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMilliseconds));
    else if (snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED)
        snd_pcm_start(pcm);
    return 0;
}

void CloseAlsa(PlatformWaveIn* device)
{
    snd_pcm_close(device->alsa->pcm);
    delete device->alsa;
    device->alsa = nullptr;
}

} // namespace

const WaveSourceOps alsaSourceOps = {OpenAlsa, BeginAlsa, HaltAlsa, ReadAlsa, CloseAlsa};
