#include "tools/convert_options.h"

#include <CLI/CLI.hpp>

namespace reelmill {

void AddConvertOptions(CLI::App& app, ConvertOptions& options) {
  const std::string output = "Output";
  app.add_option(
         "--to", options.to,
         "avi (Motion-JPEG video), swf (movie of JPEG frames), mp4 (H.264, 4:2:0), webm (VP9, 4:2:0, with "
         "alpha when the GIF has transparent pixels), webp (animated, lossless unless --quality), or an image "
         "sequence: bmp, tga, jpg, gif, png, tiff (any case; jpeg and tif too); without it, what -o's file name "
         "ends in, else avi")
      ->default_str("avi")
      ->type_name("KIND")
      ->group(output);
  app.add_option("-o,--output", options.output,
                 "Output folder (created when missing), or with one GIF and a video or webp output the output file")
      ->default_val(".")
      ->type_name("PATH")
      ->group(output);
  app.add_option("--quality", options.quality,
                 "JPEG quality, 10 to 100 (default: 100; jpg sequences: 80, as the window saves them); mp4 and webm: "
                 "100 is the default --crf, lower makes smaller files; webp: 100 is lossless (the default), lower is "
                 "lossy at that quality")
      ->check(CLI::Range(10, 100))
      ->type_name("Q")
      ->group(output);
  app.add_option("--size", options.size, "Frame size WxH, each side 1 to 5000 (default: the GIF's own)")
      ->type_name("WxH")
      ->group(output);
  app.add_option("--crf", options.crf,
                 "mp4 and webm: constant quality as FFmpeg users know it (mp4 0 to 51, default 23, 0 lossless but "
                 "played by few players; webm 0 to 63, default 32); lower is better and larger")
      ->type_name("N")
      ->group(output);
  app.add_option("--preset", options.preset,
                 "mp4 and webm: encoder speed, ultrafast ... medium, slow (default) ... veryslow; slower is smaller")
      ->type_name("NAME")
      ->group(output);
  app.add_option("--background", options.background,
                 "mp4 and webm: the colour transparent pixels show (a webm keeps them transparent where its player "
                 "reads alpha), a name or #rrggbb (default: white, as web pages show GIFs)")
      ->type_name("COLOR")
      ->group(output);
  app.add_option("--fps", options.fps,
                 "Frames per second of avi and swf, a whole number (default 10; swf: at most 255); mp4, webm and "
                 "webp keep each GIF frame's own duration unless it is given, then frame k shows the GIF at k/fps")
      ->default_val("10")
      ->type_name("N")
      ->group("Timing")
      ->each([&options](const std::string&) { options.fpsGiven = true; });
  app.add_option("--timing", options.timing,
                 "real: frame k shows what the GIF shows at k/fps, so the video lasts as long as the GIF plays; "
                 "window (avi and swf): the window's recording, one frame per distinct GIF frame and 100-ms step")
      ->check(CLI::IsMember({"real", "window"}))
      ->default_val("real")
      ->type_name("MODE")
      ->group("Timing");
  const std::string inputs = "Inputs";
  app.add_option("INPUT", options.inputs, "GIF files (taken by content), or folders of .gif files")
      ->type_name("")
      ->group(inputs);
  app.add_flag("-r,--recursive", options.recursive,
               "Take the .gif files of sub-folders too, keeping their folders under the output folder (the output "
               "folder itself is never walked)")
      ->group(inputs);
  app.add_option("--files-from", options.filesFrom, "Read more inputs from FILE, one per line (- : standard input)")
      ->type_name("FILE")
      ->group(inputs);
  app.add_flag("-0,--null", options.nullSeparated,
               "The --files-from lists end each name with a NUL byte, as find -print0 writes them (without it a "
               "NUL in a list is refused)")
      ->group(inputs);
  const std::string batch = "Batch";
  app.add_option("-j,--jobs", options.jobs, "Files converted at once, 1 to 256 (default 0: one per core)")
      ->type_name("N")
      ->group(batch);
  app.add_option("--memory", options.memory,
                 "Memory the files under way may take together, as 1536M or 4G (default: 2G, or three quarters of "
                 "the memory the process's control group or the machine has when that is less). A file waits, or "
                 "runs on fewer threads, until its share is free; one that needs more than all of it is refused")
      ->type_name("SIZE")
      ->group(batch);
  app.add_flag("--skip-existing", options.skipExisting,
               "Leave inputs whose output is complete: it exists and is at least as new as the input (the "
               "options it was made with are not compared); an interrupted batch resumes this way")
      ->group(batch);
  app.add_flag("--strict", options.strict,
               "A GIF that ends early or holds bad data is a failure (exit status 1) and nothing of it is "
               "written; without it its frames before the damage are converted with a warning")
      ->group(batch);
  app.add_option("--report", options.report,
                 "Write one JSON object per input and line to FILE: input, output, outcome (converted, failed, "
                 "skipped, not done), code (the reason's stable name: not-found, not-gif, truncated, bad-data, "
                 "no-space...), reason, damaged (only the frames before damage converted), frames, seconds. A name "
                 "that is not UTF-8 shows each byte it cannot "
                 "spell as U+FFFD, and input_bytes or output_bytes then hold its exact bytes in base64. FILE is "
                 "never one of the inputs, lists or outputs")
      ->type_name("FILE")
      ->group(batch);
  app.add_option("--shard", options.shard,
                 "Take only inputs i with i mod N = K of the list, for job arrays; names that collide are judged "
                 "over the whole list, the same way in every shard")
      ->type_name("K/N")
      ->group(batch);
  app.add_flag("-q,--quiet", options.quiet, "No progress bar and no summary")->group(batch);
  app.footer(
      "Outputs: NAME.avi, .swf, .mp4, .webm or .webp in the output folder (a GIF named clip.gif gives clip.avi, "
      "anim gives anim.avi); image sequences as OUT/varnle_reelmill/png/clip.gif00000.png and on.\n"
      "An existing output is only ever replaced by a complete new file, and never when it is an input.\n"
      "SIGINT, SIGTERM or SIGHUP (a closed terminal) stops the batch: files under way are abandoned, nothing "
      "half-written is left, frames of an image sequence already written stay; a second signal stops at once. "
      "Run under nohup to keep going after the terminal closes.\n"
      "Exit status: 0 all converted or skipped, 1 any failed or the report could not be written, 2 usage error, "
      "129, 130 or 143 interrupted.\n"
      "Example: find clips -name '*.gif' -print0 | reelmill-convert -0 --files-from - --skip-existing "
      "--report log.jsonl -o out/");
}

}  // namespace reelmill
