#pragma once
// Drives the processing callback as the host does, on a synthetic media served by the
// host stand-in's services, and checks the filtered audio in both delivery modes.
//
// The test program writes the FilterTable's host fields, builds the service table and
// every ProcessRequest at the host's byte offsets itself: going through this
// program's own copy of the record layouts would hide a layout fault shared by both
// sides.

// `table` is the FilterTable GetFilterTable returned; its callbacks are read from it.
void check_audio_processing(void* table);
