// `ksfx render`: a script run offline, frame-exact and the same to the bit on every run, into
// a 16-bit stereo WAV and, if asked, an SVG timeline of the channels. Plays that did not start
// and a render cut off without `end` are warnings on standard error, naming the script line;
// with --strict they fail the command after the files are written, so nothing is lost.
#include "commands.h"
#include "error.h"
#include "file_util.h"
#include "progress.h"
#include "script_runner.h"
#include "text.h"
#include "wav_writer.h"

#include <cstdio>
#include <unistd.h>

namespace ksfx {

void render_command(const RenderOptions &options) {
  Script script = parse_script(read_text_file(options.script), options.script.string());
  Session session(Output::Offline, script.channels);
  session.load_bank(options.bank, options.vpath, {options.script.parent_path()});
  LineSink sink = [&options](const RunLine &line) {
    if (options.verbose) std::printf("%8.3f  %s\n", line.time, line.text.c_str());
  };
  ScriptRunner runner(session, script, options.script.parent_path(), sink);
  WavWriter wav(options.output, 2, AIL_output_rate(), AIL_output_delay());
  double seconds;
  {
    Progress progress("Rendering", script.end.value_or(runner.last_time()));
    seconds = runner.render(wav, &progress);
  }
  wav.finish();
  if (options.timeline)
    write_text_file(*options.timeline,
                    runner.timeline().to_svg("ksfx render " + options.script.filename().string()));
  for (const RunWarning &w : runner.warnings())
    std::fprintf(stderr, "ksfx: %s:%d: warning: %s\n", script.source.c_str(), w.line,
                 w.text.c_str());
  if (isatty(STDERR_FILENO))
    std::fprintf(stderr, "wrote %s: %.2f s at %u Hz\n", options.output.string().c_str(), seconds,
                 AIL_output_rate());
  if (options.strict && !runner.warnings().empty())
    throw ToolError(count(runner.warnings().size(), "warning") + " with --strict");
}

} // namespace ksfx
