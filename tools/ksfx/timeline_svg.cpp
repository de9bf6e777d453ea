// Drawing the timeline as a standalone SVG document (no scripts, no external references).
#include "timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace ksfx {
namespace {

constexpr double kLeft = 110, kTop = 80, kLane = 30, kBarHeight = 22, kRight = 20;
constexpr double kCaptionLine = 16;

std::string escape_xml(const std::string &text) {
  std::string out;
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    default:
      if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
  }
  return out;
}

std::string num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

// A time as tooltips give it: exact to the millisecond.
std::string at_time(double t) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", t);
  return text;
}

// A listener direction (1/512 of a turn; -1 as first set) in degrees clockwise from -y.
double degrees(int direction) { return ((direction % 512 + 512) % 512) * 360.0 / 512; }

// A stable colour per sound name.
std::string colour(const std::string &label) {
  unsigned hash = 2166136261u;
  for (char c : label) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return "hsl(" + std::to_string(hash % 360) + ",55%,62%)";
}

// Lanes from the top: the channels, the tune, the listener, the refusals.
struct Layout {
  double seconds, scale;
  size_t lanes; // channel lanes
  double x(double t) const { return kLeft + t * scale; }
  double lane_y(size_t lane) const { return kTop + static_cast<double>(lane) * kLane; }
  double width() const { return std::max(kLeft + seconds * scale + kRight, 760.0); }
  double bottom() const { return lane_y(lanes + 3); }
};

void draw_axis(std::ostringstream &svg, const Layout &at) {
  double step = at.seconds > 60 ? 10 : at.seconds > 20 ? 2 : 1;
  double bottom = at.bottom();
  for (double t = 0; t <= at.seconds + 1e-9; t += step) {
    svg << "<line x1=\"" << num(at.x(t)) << "\" y1=\"" << num(kTop - 6) << "\" x2=\""
        << num(at.x(t)) << "\" y2=\"" << num(bottom) << "\" stroke=\"#ddd\"/>\n"
        << "<text x=\"" << num(at.x(t)) << "\" y=\"" << num(kTop - 10)
        << "\" font-size=\"10\" text-anchor=\"middle\">" << t << " s</text>\n";
  }
}

void draw_levels(std::ostringstream &svg, const Layout &at, const Timeline::Bar &bar, double y) {
  std::string volume, pan;
  for (size_t i = 0; i < bar.levels.size(); ++i) {
    const Timeline::Level &l = bar.levels[i];
    double x0 = at.x(l.time);
    double x1 = at.x(i + 1 < bar.levels.size() ? bar.levels[i + 1].time : bar.end);
    double vy = y + kBarHeight - kBarHeight * std::clamp(l.volume, 0, 127) / 127.0;
    double py = y + kBarHeight - kBarHeight * std::clamp(l.pan, 0, 127) / 127.0;
    volume += num(x0) + "," + num(vy) + " " + num(x1) + "," + num(vy) + " ";
    pan += num(x0) + "," + num(py) + " " + num(x1) + "," + num(py) + " ";
  }
  svg << "<polyline points=\"" << volume << "\" fill=\"none\" stroke=\"#333\" stroke-width=\"1\">"
      << "<title>volume, 0-127</title></polyline>\n"
      << "<polyline points=\"" << pan << "\" fill=\"none\" stroke=\"#fff\" stroke-width=\"1\" "
      << "stroke-dasharray=\"2,2\"><title>pan, 0 left to 127 right</title></polyline>\n";
}

std::string ending_text(const Timeline &timeline, const Timeline::Bar &bar) {
  switch (bar.ending) {
  case Timeline::Ending::Suspended:
    return ", then suspended";
  case Timeline::Ending::Cut:
    return ", then cut off by " + timeline.label(bar.cutBy);
  case Timeline::Ending::Stopped:
    return ", then stopped";
  case Timeline::Ending::Unfinished:
    return ", still playing when the run stopped";
  case Timeline::Ending::Open:
  case Timeline::Ending::Ended:
    break;
  }
  return ", ran to its end";
}

// A cut or a stop ends in a red edge with a cross, so it does not read as a natural end.
void draw_ending(std::ostringstream &svg, const Timeline::Bar &bar, double xEnd, double y) {
  if (bar.ending == Timeline::Ending::Suspended)
    svg << "<text x=\"" << num(xEnd - 2) << "\" y=\"" << num(y + 15)
        << "\" font-size=\"11\" text-anchor=\"end\">&#10074;&#10074;</text>\n";
  if (bar.ending != Timeline::Ending::Cut && bar.ending != Timeline::Ending::Stopped) return;
  svg << "<line class=\"" << (bar.ending == Timeline::Ending::Cut ? "cut" : "stopped") << "\" x1=\""
      << num(xEnd) << "\" y1=\"" << num(y - 2) << "\" x2=\"" << num(xEnd) << "\" y2=\""
      << num(y + kBarHeight + 2) << "\" stroke=\"#c00\" stroke-width=\"3\"/>\n"
      << "<text x=\"" << num(xEnd - 2) << "\" y=\"" << num(y + 15)
      << "\" font-size=\"12\" fill=\"#c00\" text-anchor=\"end\">&#10007;</text>\n";
}

void draw_bar(std::ostringstream &svg, const Layout &at, const Timeline &timeline,
              const Timeline::Bar &bar) {
  double y = at.lane_y(static_cast<size_t>(bar.channel)) + (kLane - kBarHeight) / 2;
  double x0 = at.x(bar.start), w = std::max(1.0, at.x(bar.end) - x0);
  std::string name = escape_xml(timeline.label(bar.sound));
  svg << "<g class=\"sound\"><rect x=\"" << num(x0) << "\" y=\"" << num(y) << "\" width=\""
      << num(w) << "\" height=\"" << num(kBarHeight) << "\" rx=\"3\" fill=\""
      << colour(timeline.label(bar.sound)) << "\"><title>" << name << " on channel " << bar.channel
      << ": " << at_time(bar.start) << " to " << at_time(bar.end)
      << (bar.resumed ? ", resumed" : "") << escape_xml(ending_text(timeline, bar))
      << "</title></rect>\n";
  draw_levels(svg, at, bar, y);
  svg << "<text x=\"" << num(x0 + 3) << "\" y=\"" << num(y + 15) << "\" font-size=\"11\">"
      << (bar.resumed ? "&#9654; " : "") << name << "</text>\n";
  draw_ending(svg, bar, x0 + w, y);
  svg << "</g>\n";
}

void draw_wait(std::ostringstream &svg, const Layout &at, const Timeline &timeline,
               const Timeline::Wait &wait) {
  double y = at.lane_y(static_cast<size_t>(wait.channel)) + kLane - 5;
  std::string name = escape_xml(timeline.label(wait.sound));
  svg << "<line class=\"suspended\" x1=\"" << num(at.x(wait.start)) << "\" y1=\"" << num(y)
      << "\" x2=\"" << num(at.x(wait.end)) << "\" y2=\"" << num(y)
      << "\" stroke=\"#c33\" stroke-width=\"3\" stroke-dasharray=\"4,3\"><title>" << name
      << " suspended " << at_time(wait.start) << " to " << at_time(wait.end)
      << (wait.dropped ? ", then dropped with its channel" : "") << "</title></line>\n";
}

void draw_tune(std::ostringstream &svg, const Layout &at,
               const std::vector<Timeline::TuneSpan> &tunes,
               const std::vector<Timeline::Mark> &notes) {
  double y = at.lane_y(at.lanes) + (kLane - kBarHeight) / 2;
  svg << "<text x=\"8\" y=\"" << num(at.lane_y(at.lanes) + 19)
      << "\" font-size=\"12\">tune</text>\n";
  for (const Timeline::TuneSpan &t : tunes) {
    std::string name = escape_xml(t.label);
    svg << "<g class=\"tune\"><rect x=\"" << num(at.x(t.start)) << "\" y=\"" << num(y)
        << "\" width=\"" << num(std::max(1.0, at.x(t.end) - at.x(t.start))) << "\" height=\""
        << num(kBarHeight) << "\" rx=\"3\" fill=\"#9bd\"><title>" << name << ": "
        << at_time(t.start) << " to " << at_time(t.end) << "</title></rect>\n<text x=\""
        << num(at.x(t.start) + 3) << "\" y=\"" << num(y + 15) << "\" font-size=\"11\">" << name
        << "</text></g>\n";
  }
  for (const Timeline::Mark &m : notes)
    svg << "<text x=\"" << num(at.x(m.time) + 2) << "\" y=\"" << num(y + 15)
        << "\" font-size=\"10\" fill=\"#124\">" << escape_xml(m.label) << "</text>\n";
}

void draw_listener(std::ostringstream &svg, const Layout &at,
                   const std::vector<Timeline::Listener> &moves) {
  double y = at.lane_y(at.lanes + 1);
  svg << "<text x=\"8\" y=\"" << num(y + 19) << "\" font-size=\"12\">listener</text>\n";
  std::string line;
  for (const Timeline::Listener &m : moves) {
    double x = at.x(m.time), dy = y + kLane - 4 - (kLane - 8) * degrees(m.direction) / 360.0;
    line += num(x) + "," + num(dy) + " ";
    char facing[32];
    std::snprintf(facing, sizeof facing, "%.1f", degrees(m.direction));
    svg << "<circle class=\"listener\" cx=\"" << num(x) << "\" cy=\"" << num(dy)
        << "\" r=\"2.5\" fill=\"#36c\"><title>listener at (" << m.x << ", " << m.y << ") facing "
        << facing << "&#176; at " << at_time(m.time) << "</title></circle>\n";
  }
  if (moves.size() > 1)
    svg << "<polyline points=\"" << line << "\" fill=\"none\" stroke=\"#36c\"/>\n";
}

void draw_refusals(std::ostringstream &svg, const Layout &at,
                   const std::vector<Timeline::Mark> &refusals) {
  double y = at.lane_y(at.lanes + 2);
  svg << "<text x=\"8\" y=\"" << num(y + 19) << "\" font-size=\"12\">refused</text>\n";
  for (const Timeline::Mark &r : refusals)
    svg << "<text class=\"refused\" x=\"" << num(at.x(r.time)) << "\" y=\"" << num(y + 20)
        << "\" font-size=\"14\" fill=\"#c00\" text-anchor=\"middle\">&#10007;<title>"
        << at_time(r.time) << " " << escape_xml(r.label) << "</title></text>\n";
}

// What the marks mean, in one row under the title.
void draw_legend(std::ostringstream &svg) {
  double y = 40;
  svg << "<g class=\"legend\" font-size=\"11\">\n"
      << "<rect x=\"8\" y=\"" << num(y - 9) << "\" width=\"34\" height=\"12\" fill=\"#999\"/>"
      << "<line x1=\"10\" y1=\"" << num(y - 5) << "\" x2=\"40\" y2=\"" << num(y - 5)
      << "\" stroke=\"#333\"/><text x=\"48\" y=\"" << num(y)
      << "\">volume (bar height = 127)</text>\n"
      << "<rect x=\"200\" y=\"" << num(y - 9)
      << "\" width=\"34\" height=\"12\" fill=\"#999\"/><line x1=\"202\" y1=\"" << num(y - 1)
      << "\" x2=\"232\" y2=\"" << num(y - 1)
      << "\" stroke=\"#fff\" stroke-dasharray=\"2,2\"/><text x=\"240\" y=\"" << num(y)
      << "\">pan (bottom = left, top = right)</text>\n"
      << "<circle cx=\"420\" cy=\"" << num(y - 4) << "\" r=\"2.5\" fill=\"#36c\"/>"
      << "<text x=\"428\" y=\"" << num(y)
      << "\">listener facing, 0&#176; (bottom, toward -y) to 360&#176;</text>\n"
      << "<text x=\"8\" y=\"" << num(y + 16) << "\">&#9654; resumed   &#10074;&#10074; "
      << "suspended   </text><text x=\"140\" y=\"" << num(y + 16)
      << "\" fill=\"#c00\">&#10007;</text><text x=\"152\" y=\"" << num(y + 16)
      << "\">cut off by another sound, stopped, or refused   </text>"
      << "<line x1=\"420\" y1=\"" << num(y + 12) << "\" x2=\"450\" y2=\"" << num(y + 12)
      << "\" stroke=\"#c33\" stroke-width=\"3\" stroke-dasharray=\"4,3\"/>"
      << "<text x=\"456\" y=\"" << num(y + 16) << "\">waiting to resume</text>\n</g>\n";
}

// The script's notes: a numbered mark on the time axis and the text listed under the lanes.
void draw_captions(std::ostringstream &svg, const Layout &at,
                   const std::vector<Timeline::Mark> &captions) {
  double y = at.bottom() + 24;
  for (size_t i = 0; i < captions.size(); ++i) {
    const Timeline::Mark &c = captions[i];
    std::string number = std::to_string(i + 1), text = escape_xml(c.label);
    svg << "<g class=\"caption\"><circle cx=\"" << num(at.x(c.time)) << "\" cy=\"" << num(kTop - 2)
        << "\" r=\"7\" fill=\"#ffd\" stroke=\"#aa6\"><title>" << at_time(c.time) << " " << text
        << "</title></circle><text x=\"" << num(at.x(c.time)) << "\" y=\"" << num(kTop + 1)
        << "\" font-size=\"9\" text-anchor=\"middle\">" << number << "</text>\n<text x=\"8\" y=\""
        << num(y + kCaptionLine * static_cast<double>(i)) << "\" font-size=\"12\">" << number
        << ". " << at_time(c.time) << "  " << text << "</text></g>\n";
  }
}

} // namespace

std::string Timeline::to_svg(const std::string &title) const {
  if (!openBar_.empty() || !openWait_.empty() || (!tunes_.empty() && tunes_.back().end < 0)) {
    Timeline closed = *this;
    closed.finish(endTime_);
    return closed.to_svg(title);
  }
  size_t lanes = last_.size();
  for (const Bar &b : bars_) lanes = std::max(lanes, static_cast<size_t>(b.channel) + 1);
  double seconds = std::max(1.0, std::ceil(endTime_));
  Layout at{seconds, std::clamp(1200.0 / seconds, 20.0, 200.0), lanes};
  double height = at.bottom() + 20 + kCaptionLine * static_cast<double>(captions_.size());

  std::ostringstream svg;
  svg << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(at.width()) << "\" height=\""
      << num(height) << "\" font-family=\"sans-serif\">\n"
      << "<title>" << escape_xml(title) << "</title>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n"
      << "<text x=\"8\" y=\"18\" font-size=\"14\" font-weight=\"bold\">" << escape_xml(title)
      << "</text>\n";
  draw_legend(svg);
  draw_axis(svg, at);
  for (size_t lane = 0; lane < lanes; ++lane)
    svg << "<text x=\"8\" y=\"" << num(at.lane_y(lane) + 19) << "\" font-size=\"12\">channel "
        << lane << "</text>\n";
  for (const Mark &m : marks_)
    svg << "<line class=\"command\" x1=\"" << num(at.x(m.time)) << "\" y1=\"" << num(kTop - 6)
        << "\" x2=\"" << num(at.x(m.time)) << "\" y2=\"" << num(kTop) << "\" stroke=\"#888\">"
        << "<title>" << at_time(m.time) << " " << escape_xml(m.label) << "</title></line>\n";
  for (const Bar &b : bars_) draw_bar(svg, at, *this, b);
  for (const Wait &w : waits_) draw_wait(svg, at, *this, w);
  draw_tune(svg, at, tunes_, tuneNotes_);
  draw_listener(svg, at, listener_);
  draw_refusals(svg, at, refusals_);
  draw_captions(svg, at, captions_);
  svg << "</svg>\n";
  return svg.str();
}

} // namespace ksfx
