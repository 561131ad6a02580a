// Sound files decoded to what the mixer plays: 16-bit signed stereo frames,
// left then right, at the output rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagemoor::audio {

class Decoder {
 public:
  virtual ~Decoder() = default;

  // Fills out with up to `frames` frames (2 samples each); fewer only at the
  // end of the sound. Never blocks on anything but the decoding itself.
  virtual std::size_t read(std::int16_t* out, std::size_t frames) = 0;
  // Length and position in frames at the output rate (length 0: unknown).
  virtual std::uint64_t lengthFrames() const = 0;
  virtual std::uint64_t positionFrames() const = 0;
  // Moves to the frame (clamped to the length); false when the sound cannot
  // move there.
  virtual bool seek(std::uint64_t frame) = 0;
};

// A tracker module: MOD, XM, S3M, IT, MTM, MO3 and what else libopenmpt reads.
class ModuleDecoder : public Decoder {
 public:
  // The module's own name as stored in the file (may be blank).
  virtual std::string name() const = 0;
  // Play the song again at its end instead of ending.
  virtual void setLoop(bool loop) = 0;
  // Wider stereo image for the surround mode the jukebox offers.
  virtual void setSurround(bool on) = 0;
  // Back to the first order, as "play from the start" asks.
  virtual void restart() = 0;
};

// Each returns null when the bytes are not of its kind or are damaged beyond
// use. outputRate is the mixer's rate; the decoders resample to it.
std::unique_ptr<Decoder> OpenWav(std::string bytes, int outputRate);
std::unique_ptr<Decoder> OpenMp3(std::string bytes, int outputRate);
std::unique_ptr<ModuleDecoder> OpenModule(std::string bytes, int outputRate);

// A stream file as the jukebox plays it: WAV by content, else MP3.
std::unique_ptr<Decoder> OpenStream(std::string bytes, int outputRate);

// A whole sound in memory (the samples that play over the music): WAV or MP3,
// decoded at once. Nothing when unreadable or longer than maxFrames.
std::optional<std::vector<std::int16_t>> DecodeWhole(std::string bytes, int outputRate,
                                                     std::uint64_t maxFrames);

// Changes the rate of 16-bit stereo frames with cubic interpolation; keeps
// its state between calls so a stream resamples without seams.
//
// Output frame k stands at input time k * inputRate / outputRate, kept as an
// exact fraction so that no error builds up over a long stream and a seek
// lands on the very frames a play from the start gives. Before the first
// input frame the first one repeats, after the last one the last.
class Resampler {
 public:
  Resampler(int inputRate, int outputRate);
  // Takes input frames; appends the output frames they complete to out.
  void push(const std::int16_t* in, std::size_t frames, std::vector<std::int16_t>& out);
  // Called at the end of the input: the frames still held.
  void flush(std::vector<std::int16_t>& out);
  void reset();
  int inputRate() const { return m_inputRate; }
  int outputRate() const { return m_outputRate; }

  // Output frames that a whole input of this many frames gives.
  std::uint64_t outputFrames(std::uint64_t inputFrames) const;
  // Starts over so that the next output is the given output frame of a
  // stream resampled from its start; returns the input frame from which the
  // caller must push (the frames before it are not needed).
  std::uint64_t seekOutput(std::uint64_t outputFrame);

 private:
  std::int16_t sampleAt(std::int64_t frame, int side, const std::int16_t* in, std::uint64_t inBase,
                        std::uint64_t inEnd) const;
  void emit(const std::int16_t* in, std::uint64_t inBase, std::uint64_t inEnd, std::uint64_t limit,
            std::vector<std::int16_t>& out);
  void advance();

  int m_inputRate;
  int m_outputRate;
  // The rates over their greatest common divisor: the step is m_num / m_den input frames.
  std::uint64_t m_num = 1;
  std::uint64_t m_den = 1;
  // Input time of the next output frame: m_nextFrame + m_nextRemainder / m_den.
  std::uint64_t m_nextFrame = 0;
  std::uint64_t m_nextRemainder = 0;
  std::uint64_t m_inputSeen = 0;   // input frames taken so far (counted from the stream start)
  std::int16_t m_history[8] = {};  // the last four input frames, oldest first
};

// A decoder whose source gives stereo frames at the source's own rate: it
// resamples them to the output rate and seeks exactly.
class ResampledDecoder : public Decoder {
 public:
  std::size_t read(std::int16_t* out, std::size_t frames) override;
  std::uint64_t lengthFrames() const override;
  std::uint64_t positionFrames() const override { return m_position; }
  bool seek(std::uint64_t frame) override;

 protected:
  ResampledDecoder(int sourceRate, int outputRate, std::uint64_t sourceFrames);
  // Up to `frames` stereo frames from the source's position on; 0 at its end.
  virtual std::size_t readSource(std::int16_t* out, std::size_t frames) = 0;
  // Moves the source to a frame below sourceFrames; false when it cannot.
  virtual bool seekSource(std::uint64_t frame) = 0;

 private:
  Resampler m_resampler;
  std::uint64_t m_sourceFrames;
  std::uint64_t m_position = 0;
  bool m_sourceEnded = false;
  std::vector<std::int16_t> m_block;    // source frames on their way to the resampler
  std::vector<std::int16_t> m_pending;  // resampled frames not read yet
  std::size_t m_pendingAt = 0;          // in samples
};

}  // namespace pagemoor::audio
