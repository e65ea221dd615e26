#pragma once
// The stand-in's command line.

#include "common/product.h"
#include "win32/live_capture.h"

#include <string>

struct Options {
    std::string name = kEffectName; // the visualization to load
    std::string wav;
    int preset = -1;
    std::string port;
    int device = -1;
    long lightDelayMs = -1; // -1: the stored delay
    // The output for this run, as the plug-in stores it; empty: the stored one.
    std::string output; // "Serial", "sACN" or "Art-Net"
    bool addressGiven = false;
    std::string address;    // the receiver; empty: multicast or broadcast
    long universe = -1;     // -1: the stored one
    long startChannel = -1; // -1: the stored one
    double fps = 30.0;
    bool fast = false;
    double seconds = 0; // 0: 8 s of the built-in clip, a live show until Ctrl+C
    long frames = -1;
    bool windowed = false;
    std::string pngDir;
    int pngEvery = 1;
    long bench = 0;
    long lingerMs = 0;
    bool quiet = false;
    std::string frameLog; // a live show's per-frame times, for tools/bench-live
    LiveSource live = LiveSource::None;
    std::string captureName;
    bool listDevices = false;
    bool restoreBackup = false; // put the plug-in's copy of the settings back, and nothing else
};

// Reads the command line into `o`. False, with a message on stderr, for an
// unknown or malformed option; --help prints the usage and exits.
bool ParseOptions(int argc, char** argv, Options& o);
