#pragma once
// Resource ids shared by the .rc and the code.

#define IDS_PROJNAME 100
#define IDS_TITLE 101
#define IDS_BARS_TITLE 102
#define IDS_WAVE_TITLE 103
#define IDS_DESCRIPTION 105
#define IDS_PORT 202

#define IDD_PROPERTY_DIALOG 106
#define IDD_CHANNEL_DIALOG 202
#define IDD_SETTINGS_NOTICE 107
#define IDD_OUTPUT_DIALOG 108

#define IDC_APPLY 210

// Property dialog controls.
#define IDC_PORT 201
#define IDC_PORT_LABEL 202
#define IDC_DEVICE_ID 205
// The channel buttons: 225 for channel 1, then 229..243 for channels 2..16.
#define IDC_CHANNEL_1 225
#define IDC_CHANNEL_2 229
#define IDC_CHANNEL_3 230
#define IDC_CHANNEL_4 231
#define IDC_CHANNEL_5 232
#define IDC_CHANNEL_6 233
#define IDC_CHANNEL_7 234
#define IDC_CHANNEL_8 235
#define IDC_CHANNEL_9 236
#define IDC_CHANNEL_10 237
#define IDC_CHANNEL_11 238
#define IDC_CHANNEL_12 239
#define IDC_CHANNEL_13 240
#define IDC_CHANNEL_14 241
#define IDC_CHANNEL_15 242
#define IDC_CHANNEL_16 243
#define IDC_DRAW_FREQUENCY 228
#define IDC_DRAW_POWER 244
#define IDC_DRAW_CHANNELS 245
#define IDC_DRAW_CHANNEL_NUMBERS 246
#define IDC_LIGHT_DELAY 247
#define IDC_STATUS 248
#define IDC_OUTPUT_BUTTON 249
#define IDC_OUTPUT_SUMMARY 250
#define IDC_DEVICE_LABEL 251

// Output dialog controls.
#define IDC_OUTPUT_KIND 260
#define IDC_ADDRESS_LABEL 261
#define IDC_OUTPUT_ADDRESS 262
#define IDC_ADDRESS_HINT 263
#define IDC_UNIVERSE_LABEL 264
#define IDC_UNIVERSE 265
#define IDC_START_CHANNEL_LABEL 266
#define IDC_START_CHANNEL 267
#define IDC_OUTPUT_STATUS 268

// Channel dialog controls (ids are local to each dialog: 225 is a button there, a spin here).
#define IDC_AUDIO_CHANNEL 206
#define IDC_TYPE 221
#define IDC_FREQ_START_HZ 222
#define IDC_FREQ_END_HZ 223
#define IDC_FREQ_START_SPIN 224
#define IDC_FREQ_END_SPIN 225
#define IDC_ENABLED 226
#define IDC_SAMPLE_TYPE 227

// Settings notice controls.
#define IDC_NOTICE_TEXT 301
