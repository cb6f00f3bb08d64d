#pragma once

namespace vorlane {

// How many VDR junction boxes the gateway reads, each on an input of its own numbered from 0.
// Every per-box array and loop of every layer is sized by this one number, so a further box is
// a change of this line; it lives here, in the folder every layer may include, because the
// capture, the settings store and the stream manager all keep something per box.
inline constexpr int junction_box_count = 2;

// Each input feeds the output of its number: box k's accepted sentences are served on output k,
// so there are as many outputs as boxes.
inline constexpr int output_count = junction_box_count;

}  // namespace vorlane
