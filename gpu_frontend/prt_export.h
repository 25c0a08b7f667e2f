// PRT export: the particles the GPU fluid object shows on each host frame,
// written as "Extensible Particle Format" version 1 files (positions and
// velocities, float32 x 3 each, one zlib stream) into the cache's PRTs
// folder for renderers and other particle tools.
#pragma once
#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include "host/sdk/max.h"

namespace vorel_gpufe {

class BlobNode;

constexpr int kPrtHeaderSize = 156;
constexpr int kPrtRecordSize = 24;
constexpr int kPrtCompressionLevel = 6;
// Where the playback puts particles that have no place at a host time.
constexpr float kParkedCoordinate = 1e6f;
constexpr const char* kPrtDoneText = "PRT export completed.";
constexpr const char* kPrtBadSpeedText = "PRT export needs a playback scale above 0.";

// Compresses size bytes of data into file as one zlib stream at level, in
// 16 KiB windows. 0 on success; -1 for a missing file or data or a failed
// write or stream error; zlib's own code when the stream cannot start.
int DeflateToFile(std::FILE* file, const void* data, size_t size, int level);

// "<cacheDir>/PRTs/Vorel_%05d.PRT"; empty when the path does not fit.
std::string PrtPath(const BlobNode& fluid, int frame);

// Writes one file for host frame from the object's display arrays (positions
// in host units, velocities as read from the frame, scaled by 20 on the way
// out). Particles parked out of sight or with a coordinate that is no number
// are left out; with none left no file is written. A file that cannot be
// compressed whole is deleted. Answers whether a file was written.
bool WritePrtFrame(BlobNode& fluid, int frame);

// Loads what the object shows at host time t into its display arrays.
using ShownParticlesLoader = std::function<void(BlobNode&, TimeValue)>;

// Exports every host frame from 0 to the one showing the last solved frame
// (playback scale and offset taken into account). Nothing when the object
// was never drawn; a playback scale of 0 or below is refused on the prompt
// line. Old PRT files of the cache are deleted first.
void ExportPrtFrames(BlobNode& fluid, const ShownParticlesLoader& loadShown);

}  // namespace vorel_gpufe
