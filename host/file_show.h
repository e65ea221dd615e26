#pragma once
// A show from a WAV file or the built-in clip: one frame per 1/fps of the
// audio (in real time unless --fast or --bench), optional PNG frames, and a
// summary of the frames and Render times on stdout.

#include "audio_clip.h"
#include "options.h"
#include "render_target.h"

// Returns the program's exit status: 0, or 5 when a PNG frame can't be written.
int RunFileShow(const Options& o, const AudioClip& clip, RenderTarget& target);

// Idles with the plug-in loaded for --linger, as a paused player does (the
// controller keeps getting keep-alives), then closes the window.
void EndShow(const Options& o, RenderTarget& target);
