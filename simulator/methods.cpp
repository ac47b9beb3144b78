// Calls with arguments the class table cannot describe: LCD drawing, LED
// arrays, data adapters, infrared, RFID, GPS, dictionaries, firmware
// upgrade, hub port power and the motor extras.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <ctime>
#include <map>
#include <thread>

#include "behaviour/gps_track.h"
#include "behaviour/motion.h"
#include "engine.h"
#include "firmware_image.h"

using namespace tsim;

namespace {

template <class H>
TindrelHandle TH(H h)
{
    return reinterpret_cast<TindrelHandle>(h);
}

template <class H, class F>
TindrelReturnCode call(H h, Tindrel_ChannelClass k, F &&fn)
{
    return withChannel(TH(h), classByNumber(k), fn);
}

// A method that only reports what the channel knows.
template <class H, class F>
TindrelReturnCode readCall(H h, Tindrel_ChannelClass k, F &&fn)
{
    return withChannel(TH(h), classByNumber(k), fn, CallKind::Read);
}

// A method that works out its answer from the property values alone, so it
// answers from the mirrored values of a channel on a network server too.
template <class H, class F>
TindrelReturnCode valuesCall(H h, Tindrel_ChannelClass k, F &&fn)
{
    return withChannel(TH(h), classByNumber(k), fn, CallKind::ReadValues);
}

// A test-control look at the channel, never failed on purpose.
template <class H, class F>
TindrelReturnCode controlCall(H h, Tindrel_ChannelClass k, F &&fn)
{
    return withChannel(TH(h), classByNumber(k), fn, CallKind::Control);
}

// Per-session state of a class, made on first use.
template <class S>
S &stateOf(Channel &c)
{
    if (!c.state || !dynamic_cast<S *>(c.state.get()))
        c.state = std::make_unique<S>();
    return static_cast<S &>(*c.state);
}

// State of a channel that outlasts its sessions and goes with the rig, made
// on first use.
template <class S>
S &keptOf(Channel &c)
{
    if (!dynamic_cast<S *>(c.kept.get()))
        c.kept = std::make_shared<S>();
    return static_cast<S &>(*c.kept);
}

int propIndex(const Channel &c, const char *name) { return c.info->cls->prop(name); }
double get(Channel &c, const char *name) { return value(c, propIndex(c, name)); }

TindrelReturnCode copyOut(const std::string &s, char *buf, size_t len, const char *what)
{
    if (!buf)
        return fail(TINDREL_EFAULT, "%s buffer is NULL", what);
    if (len < s.size() + 1)
        return fail(TINDREL_ENOSPC, "%s needs %zu bytes, the buffer has %zu", what, s.size() + 1, len);
    std::memcpy(buf, s.c_str(), s.size() + 1);
    return TINDREL_OK;
}

TindrelReturnCode notOn(const Channel &c, const char *call)
{
    return fail(TINDREL_EUNSUPPORTED, "Not supported on this device (%s %s on device %d)", c.info->cls->name, call,
                c.info->device->deviceId);
}

bool isHex(const char *s)
{
    if (!s || !*s)
        return false;
    for (; *s; ++s)
        if (!std::isxdigit(static_cast<unsigned char>(*s)))
            return false;
    return true;
}

// ---------------------------------------------------------------- LCD
constexpr int kTextLCD = 81;
// Character cells of a text display as drawn into its picture: 5 x 8 dots
// and one blank column and row.
constexpr int kCellW = 6, kCellH = 9;
struct LCDState : ClassState {
    int fontW[3] = {0, 0, 0}, fontH[3] = {0, 0, 0};   // user fonts 1 and 2
    std::vector<std::vector<uint8_t>> frames = std::vector<std::vector<uint8_t>>(3);
    std::vector<std::vector<uint8_t>> saved = std::vector<std::vector<uint8_t>>(3);
    std::vector<std::string> rows;
    // Characters defined by the application: font -> character -> dots.
    std::map<int, std::map<uint8_t, std::vector<uint8_t>>> glyphs;
    // What the display shows since the last flush.
    std::vector<uint8_t> shown;
    std::vector<std::string> shownRows;
    int shownW = 0, shownH = 0;
    // A text display's cursor: the cell after the last text written.
    int cursorCol = 0, cursorRow = 0;
};

bool isGraphic(const Channel &c) { return c.info->subclass != kTextLCD; }

// The built-in dots of the display's own fonts: 3 x 5 shapes placed in the
// font's cell (lower case shows as upper case).
const char *builtinGlyph(unsigned char ch)
{
    static const std::map<char, const char *> glyphs = {
        {'0', "111101101101111"}, {'1', "010110010010111"},  {'2', "111001111100111"}, {'3', "111001011001111"},
        {'4', "101101111001001"}, {'5', "111100111001111"},  {'6', "111100111101111"}, {'7', "111001010010010"},
        {'8', "111101111101111"}, {'9', "111101111001111"},  {'A', "010101111101101"}, {'B', "110101110101110"},
        {'C', "011100100100011"}, {'D', "110101101101110"},  {'E', "111100110100111"}, {'F', "111100110100100"},
        {'G', "011100101101011"}, {'H', "101101111101101"},  {'I', "111010010010111"}, {'J', "001001001101010"},
        {'K', "101101110101101"}, {'L', "100100100100111"},  {'M', "101111111101101"}, {'N', "110101101101101"},
        {'O', "010101101101010"}, {'P', "110101110100100"},  {'Q', "010101101110011"}, {'R', "110101110101101"},
        {'S', "011100010001110"}, {'T', "111010010010010"},  {'U', "101101101101111"}, {'V', "101101101101010"},
        {'W', "101101111111101"}, {'X', "101101010101101"},  {'Y', "101101010010010"}, {'Z', "111001010100111"},
        {'!', "010010010000010"}, {'.', "000000000000010"},  {',', "000000000010100"}, {':', "000010000010000"},
        {'-', "000000111000000"}, {'\'', "010010000000000"}, {'?', "111001010000010"}, {'#', "101111101111101"},
        {'/', "001001010100100"}, {'(', "010100100100010"},  {')', "010001001001010"}, {'+', "000010111010000"},
        {'=', "000111000111000"}, {' ', "000000000000000"}};
    auto it = glyphs.find(static_cast<char>(std::toupper(ch)));
    return it == glyphs.end() ? "111101101101111" : it->second;
}

// Width and height of a font's characters.
std::pair<int, int> fontCell(const LCDState &s, int font)
{
    switch (font) {
    case TINDREL_LCD_FONT_USER1:
    case TINDREL_LCD_FONT_USER2:
        return {s.fontW[font], s.fontH[font]};
    case TINDREL_LCD_FONT_6x10:
        return {6, 10};
    case TINDREL_LCD_FONT_5x8:
        return {5, 8};
    default:
        return {6, 12};
    }
}

// The dots of one character of a font (width x height, row by row).
std::vector<uint8_t> glyphDots(const LCDState &s, int font, unsigned char ch)
{
    auto [w, h] = fontCell(s, font);
    if (auto f = s.glyphs.find(font); f != s.glyphs.end())
        if (auto g = f->second.find(ch); g != f->second.end())
            return g->second;
    std::vector<uint8_t> dots(static_cast<size_t>(w * h), 0);
    if (font == TINDREL_LCD_FONT_USER1 || font == TINDREL_LCD_FONT_USER2)
        return dots;   // a user font shows only what was defined
    const char *shape = builtinGlyph(ch);
    const int ox = 1, oy = (h - 5) / 2;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            if (shape[y * 3 + x] == '1' && ox + x < w && oy + y < h)
                dots[static_cast<size_t>((oy + y) * w + ox + x)] = 1;
    return dots;
}

TindrelReturnCode checkFont(Channel &c, LCDState &s, Tindrel_LCDFont font)
{
    if (font < TINDREL_LCD_FONT_USER1 || font > TINDREL_LCD_FONT_6x12)
        return fail(TINDREL_EINVALIDARG, "Font %d is not known (1 - 5)", static_cast<int>(font));
    if (font <= TINDREL_LCD_FONT_USER2 && s.fontW[font] == 0)
        return fail(TINDREL_EINVALIDSTATE, "User font %d has no size yet; call TindrelLCD_setFontSize first",
                    static_cast<int>(font));
    (void)c;
    return TINDREL_OK;
}

TindrelReturnCode checkPoint(Channel &c, int x, int y, const char *what)
{
    int w = static_cast<int>(get(c, "Width")), h = static_cast<int>(get(c, "Height"));
    if (x < 0 || y < 0 || x >= w || y >= h)
        return fail(TINDREL_EINVALIDARG, "%s (%d, %d) is outside the %d x %d screen", what, x, y, w, h);
    return TINDREL_OK;
}

std::vector<uint8_t> &frame(Channel &c, LCDState &s)
{
    auto &f = s.frames[static_cast<size_t>(get(c, "FrameBuffer"))];
    f.resize(static_cast<size_t>(get(c, "Width") * get(c, "Height")));
    return f;
}

TindrelReturnCode graphicOnly(Channel &c, const char *what) { return isGraphic(c) ? TINDREL_OK : notOn(c, what); }

void plot(Channel &c, LCDState &s, int x, int y, int state)
{
    auto &f = frame(c, s);
    int w = static_cast<int>(get(c, "Width")), h = static_cast<int>(get(c, "Height"));
    if (x < 0 || y < 0 || x >= w || y >= h)
        return;
    uint8_t &px = f[static_cast<size_t>(y * w + x)];
    px = state == TINDREL_LCD_PIXEL_INVERT ? !px : static_cast<uint8_t>(state);
}

TindrelReturnCode lcdWriteText(Channel &c, Tindrel_LCDFont font, int x, int y, const char *text)
{
    LCDState &s = stateOf<LCDState>(c);
    if (!text)
        return fail(TINDREL_EFAULT, "Text is NULL");
    if (TindrelReturnCode rc = checkFont(c, s, font))
        return rc;
    if (TindrelReturnCode rc = checkPoint(c, x, y, "Text position"))
        return rc;
    if (!isGraphic(c)) {
        size_t w = static_cast<size_t>(get(c, "Width"));
        s.rows.resize(static_cast<size_t>(get(c, "Height")), std::string(w, ' '));
        std::string &row = s.rows[static_cast<size_t>(y)];
        row.resize(w, ' ');
        size_t i = 0;
        for (; text[i] && static_cast<size_t>(x) + i < w; ++i)
            row[static_cast<size_t>(x) + i] = text[i];
        s.cursorRow = y;
        s.cursorCol = static_cast<int>(std::min(static_cast<size_t>(x) + i, w - 1));
        return TINDREL_OK;
    }
    // Dots of each character into the frame buffer; text past the edge is cut.
    auto [cw, ch] = fontCell(s, font);
    int px = x;
    for (const char *t = text; *t; ++t, px += cw) {
        std::vector<uint8_t> dots = glyphDots(s, font, static_cast<unsigned char>(*t));
        for (int gy = 0; gy < ch; ++gy)
            for (int gx = 0; gx < cw; ++gx)
                plot(c, s, px + gx, y + gy, dots[static_cast<size_t>(gy * cw + gx)] ? 1 : 0);
    }
    return TINDREL_OK;
}

TindrelReturnCode lcdDrawLine(Channel &c, int x1, int y1, int x2, int y2)
{
    if (TindrelReturnCode rc = graphicOnly(c, "drawLine"))
        return rc;
    for (auto [x, y] : {std::pair{x1, y1}, std::pair{x2, y2}})
        if (TindrelReturnCode rc = checkPoint(c, x, y, "Line end"))
            return rc;
    LCDState &s = stateOf<LCDState>(c);
    int n = std::max(std::abs(x2 - x1), std::abs(y2 - y1));
    for (int i = 0; i <= n; ++i)
        plot(c, s, x1 + (n ? (x2 - x1) * i / n : 0), y1 + (n ? (y2 - y1) * i / n : 0), 1);
    return TINDREL_OK;
}

TindrelReturnCode lcdDrawRect(Channel &c, int x1, int y1, int x2, int y2, int filled, int inverted)
{
    if (TindrelReturnCode rc = graphicOnly(c, "drawRect"))
        return rc;
    for (auto [x, y] : {std::pair{x1, y1}, std::pair{x2, y2}})
        if (TindrelReturnCode rc = checkPoint(c, x, y, "Rectangle corner"))
            return rc;
    LCDState &s = stateOf<LCDState>(c);
    for (int y = std::min(y1, y2); y <= std::max(y1, y2); ++y)
        for (int x = std::min(x1, x2); x <= std::max(x1, x2); ++x)
            if (filled || x == x1 || x == x2 || y == y1 || y == y2)
                plot(c, s, x, y, inverted ? 0 : 1);
    return TINDREL_OK;
}

TindrelReturnCode lcdCopy(Channel &c, int src, int dst, int sx1, int sy1, int sx2, int sy2, int dx, int dy,
                          int inverted)
{
    if (TindrelReturnCode rc = graphicOnly(c, "copy"))
        return rc;
    if (src < 0 || src > 2 || dst < 0 || dst > 2)
        return fail(TINDREL_EINVALIDARG, "Frame buffers %d and %d: each must be 0 - 2", src, dst);
    for (auto [x, y] : {std::pair{sx1, sy1}, std::pair{sx2, sy2}, std::pair{dx, dy}})
        if (TindrelReturnCode rc = checkPoint(c, x, y, "Copy corner"))
            return rc;
    LCDState &s = stateOf<LCDState>(c);
    int w = static_cast<int>(get(c, "Width")), h = static_cast<int>(get(c, "Height"));
    for (auto &f : s.frames)
        f.resize(static_cast<size_t>(w * h));
    std::vector<uint8_t> from = s.frames[static_cast<size_t>(src)];
    auto &to = s.frames[static_cast<size_t>(dst)];
    for (int y = std::min(sy1, sy2); y <= std::max(sy1, sy2); ++y)
        for (int x = std::min(sx1, sx2); x <= std::max(sx1, sx2); ++x) {
            int tx = dx + x - std::min(sx1, sx2), ty = dy + y - std::min(sy1, sy2);
            if (tx < w && ty < h)
                to[static_cast<size_t>(ty * w + tx)] =
                    inverted ? !from[static_cast<size_t>(y * w + x)] : from[static_cast<size_t>(y * w + x)];
        }
    return TINDREL_OK;
}

// Shows the drawn frame. A text display draws its rows of characters into
// cells; a sleeping display shows nothing.
TindrelReturnCode lcdFlush(Channel &c)
{
    LCDState &s = stateOf<LCDState>(c);
    const bool asleep = isGraphic(c) && get(c, "Sleeping") != 0;
    if (isGraphic(c)) {
        s.shownW = static_cast<int>(get(c, "Width"));
        s.shownH = static_cast<int>(get(c, "Height"));
        s.shown = frame(c, s);
        if (asleep)
            std::fill(s.shown.begin(), s.shown.end(), 0);
        return TINDREL_OK;
    }
    const int cols = static_cast<int>(get(c, "Width")), rows = static_cast<int>(get(c, "Height"));
    s.rows.resize(static_cast<size_t>(rows), std::string(static_cast<size_t>(cols), ' '));
    s.shownRows = s.rows;
    s.shownW = cols * kCellW;
    s.shownH = rows * kCellH;
    s.shown.assign(static_cast<size_t>(s.shownW * s.shownH), 0);
    for (int r = 0; r < rows; ++r)
        for (int col = 0; col < cols && col < static_cast<int>(s.rows[static_cast<size_t>(r)].size()); ++col) {
            auto dots = glyphDots(s, TINDREL_LCD_FONT_5x8,
                                  static_cast<unsigned char>(s.rows[static_cast<size_t>(r)][static_cast<size_t>(col)]));
            for (int gy = 0; gy < 8; ++gy)
                for (int gx = 0; gx < 5; ++gx)
                    s.shown[static_cast<size_t>((r * kCellH + gy) * s.shownW + col * kCellW + gx)] =
                        dots[static_cast<size_t>(gy * 5 + gx)];
        }
    return TINDREL_OK;
}

// How bright one dot of a display looks, 0 (black) to 255 (full light). The
// backlight shines through the liquid crystal; the contrast sets how hard the
// display drives it. A lit dot darkens as the drive rises and is black from
// half contrast up; past 0.6 the drive starts to grey the unlit dots too, until
// at full contrast they are barely brighter than the lit ones.
uint8_t lcdDotLevel(bool lit, double contrast, double backlight)
{
    const double c = std::clamp(contrast, 0.0, 1.0), light = std::clamp(backlight, 0.0, 1.0);
    const double background = 1.0 - 0.8 * std::clamp((c - 0.6) / 0.4, 0.0, 1.0);
    const double transmission = lit ? background * (1.0 - std::min(1.0, 2.0 * c)) : background;
    return static_cast<uint8_t>(std::lround(255.0 * light * transmission));
}

// The dots the display shows now: those of the last flush and, on a text
// display with the cursor on, the cursor's underline (the bottom dot row of
// its cell), which the display draws by itself.
std::vector<uint8_t> lcdDots(Channel &c)
{
    const LCDState &s = stateOf<LCDState>(c);
    std::vector<uint8_t> dots = s.shown;
    if (isGraphic(c) || get(c, "CursorOn") == 0)
        return dots;
    const int y = s.cursorRow * kCellH + kCellH - 2;
    for (int x = s.cursorCol * kCellW; x < s.cursorCol * kCellW + kCellW - 1; ++x)
        if (x < s.shownW && y < s.shownH)
            dots[static_cast<size_t>(y * s.shownW + x)] = 1;
    return dots;
}

// The picture the display gives now: its dots through the contrast and
// backlight set now; dark while a graphic display sleeps.
std::vector<uint8_t> lcdPicture(Channel &c)
{
    const double backlight = isGraphic(c) && get(c, "Sleeping") != 0 ? 0.0 : get(c, "Backlight");
    const uint8_t lit = lcdDotLevel(true, get(c, "Contrast"), backlight);
    const uint8_t unlit = lcdDotLevel(false, get(c, "Contrast"), backlight);
    std::vector<uint8_t> levels = lcdDots(c);
    std::transform(levels.begin(), levels.end(), levels.begin(), [&](uint8_t dot) { return dot ? lit : unlit; });
    return levels;
}

// Runs op now and hands its result to fptr on a library thread.
template <class Op>
void asyncCall(TindrelLCDHandle ch, Tindrel_AsyncCallback fptr, void *ctx, Op op)
{
    TindrelReturnCode rc =
        call(ch, TINDREL_CHCLASS_LCD, [&](Channel &c, Raised &) -> TindrelReturnCode { return op(c); });
    if (!fptr)
        return;
    if (!ch) {
        fptr(nullptr, ctx, rc);
        return;
    }
    TindrelHandle h = TH(ch);
    postOneShot(h, [fptr, h, ctx, rc] { fptr(h, ctx, rc); });
}

// ---------------------------------------------------------------- LED array
// Each LED fades from the colour it showed to the one last set.
struct LEDState : ClassState {
    struct Led {
        Tindrel_LEDColor from{}, to{};
        std::chrono::steady_clock::time_point start{};
        uint32_t fadeMs = 0;
    };
    std::vector<Led> leds;
    // The colour an LED has reached (before gamma, brightness and power).
    static Tindrel_LEDColor reached(const Led &l, std::chrono::steady_clock::time_point now)
    {
        double f = 1.0;
        if (l.fadeMs > 0)
            f = std::clamp(std::chrono::duration<double, std::milli>(now - l.start).count() / l.fadeMs, 0.0, 1.0);
        auto mix = [f](uint8_t a, uint8_t b) { return static_cast<uint8_t>(std::lround(a + (b - a) * f)); };
        return {mix(l.from.r, l.to.r), mix(l.from.g, l.to.g), mix(l.from.b, l.to.b), mix(l.from.w, l.to.w)};
    }
    void set(size_t i, Tindrel_LEDColor to, uint32_t fadeMs)
    {
        auto now = std::chrono::steady_clock::now();
        Led &l = leds[i];
        l.from = reached(l, now);
        l.to = to;
        l.start = now;
        l.fadeMs = fadeMs;
    }
};

// What an LED shows: its colour through the gamma curve, times brightness,
// dark with the power off.
Tindrel_LEDColor ledOutput(Channel &c, const LEDState::Led &l)
{
    if (get(c, "PowerEnabled") == 0)
        return {};
    const double gamma = get(c, "Gamma"), brightness = get(c, "Brightness");
    auto out = [&](uint8_t v) {
        return static_cast<uint8_t>(std::lround(255.0 * std::pow(v / 255.0, gamma) * brightness));
    };
    Tindrel_LEDColor r = LEDState::reached(l, std::chrono::steady_clock::now());
    return {out(r.r), out(r.g), out(r.b), out(r.w)};
}

// ---------------------------------------------------------------- data adapter
constexpr int kI2CAdapter = 134, kSerialAdapter = 162;   // the SPI adapter is device 160
// The devices on a simulated adapter's bus, and what went over it.
//  I2C 0x48: a temperature sensor; register 0 the temperature (two bytes,
//            1/256 degC, high byte first), 1 its configuration (read/write),
//            0x0F its identity 0xA1. It keeps up to 100 kHz: at 400 kHz it
//            does not answer.
//  I2C 0x50: a 256-byte memory; the first byte written sets the address,
//            further bytes are stored, and reads go on from there.
//  SPI:      0x9F answers the identity 7D 1E 83 10; 0x02 a d.. writes the
//            memory at a; 0x03 a [n] reads n bytes (1 when n is absent);
//            anything else is answered with each byte's complement. It
//            keeps up to 3 MHz.
//  Serial:   the serial line adapter's line ends in a loop-back plug, so
//            every packet comes back as it was sent.
constexpr uint32_t kTempSensorAddress = 0x48, kMemoryAddress = 0x50;
struct BusState : ClassState {
    uint8_t memory[256] = {};
    uint8_t memoryPointer = 0;
    uint8_t tempRegister = 0, tempConfig = 0x60;
    uint8_t spiMemory[256] = {};
    std::vector<std::string> log;   // newest last, bounded
    void record(std::string line)
    {
        if (log.size() >= 256)
            log.erase(log.begin());
        log.push_back(std::move(line));
    }
};

std::string hexBytes(const uint8_t *data, size_t n)
{
    std::string out;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", data[i]);
        out += b;
    }
    return out;
}

// Temperature the sensor measures now, in 1/256 degC.
int sensorTemperature(const Channel &c)
{
    return static_cast<int>(std::lround((23.5 + 0.5 * std::sin(sessionTime(c) / 10.0)) * 256.0));
}

TindrelReturnCode checkPacket(Channel &c, const uint8_t *data, size_t length)
{
    if (!data && length)
        return fail(TINDREL_EFAULT, "Packet data is NULL");
    if (length == 0)
        return fail(TINDREL_EINVALIDARG, "Packet is empty");
    double max = get(c, "MaxPacketLength");
    if (static_cast<double>(length) > max)
        return fail(TINDREL_ETOOBIG, "Packet of %zu bytes is longer than the %g bytes the adapter takes", length, max);
    return TINDREL_OK;
}

// ---------------------------------------------------------------- infrared
struct IRState : ClassState {
    bool started = false;
    double next = 0.0;
    int repeats = 0;
    size_t codeIndex = 0;
    std::string lastCode, learnedCode;
    uint32_t lastBits = 0;
    bool learned = false;
    Tindrel_IRCodeInfo learnedInfo{};
};
// The signals an infrared channel sent, over all its sessions.
struct IRSent : ClassState {
    uint64_t signals = 0;
};
static_assert(sizeof(Tindrel_IRCodeInfo) == 200, "the code-information record is 200 bytes");
static_assert(offsetof(Tindrel_IRCodeInfo, repeat) == 44 && offsetof(Tindrel_IRCodeInfo, toggleMask) == 164,
              "record layout");
const char *const kIRCodes[] = {"00ff30cf", "00ff18e7", "00ff7a85", "00ff10ef"};

Tindrel_IRCodeInfo necInfo()
{
    Tindrel_IRCodeInfo i{};
    i.bitCount = 32;
    i.encoding = 2;
    i.length = 2;
    i.gap = 108000;
    i.trail = 560;
    i.header[0] = 9000;
    i.header[1] = 4500;
    i.one[0] = 560;
    i.one[1] = 1690;
    i.zero[0] = 560;
    i.zero[1] = 560;
    i.repeat[0] = 9000;
    i.repeat[1] = 2250;
    i.repeat[2] = 560;
    i.minRepeat = 1;
    i.dutyCycle = 0.33;
    i.carrierFrequency = 38000;
    return i;
}

std::vector<uint32_t> necRaw(const std::string &code)
{
    std::vector<uint32_t> raw{9000, 4500};
    unsigned long v = std::strtoul(code.c_str(), nullptr, 16);
    for (int b = 31; b >= 0; --b) {
        raw.push_back(560);
        raw.push_back((v >> b) & 1 ? 1690 : 560);
    }
    raw.push_back(560);
    return raw;
}

// A remote control pressed every period seconds: a code, repeats, its raw
// timings, and after the third repeat the learned code.
void irStep(Channel &c, double, double t, Raised &extra)
{
    IRState &s = stateOf<IRState>(c);
    const double period = c.info->behaviour.set ? c.info->behaviour.period : 5.0;
    if (!s.started) {
        // The first press comes a sixth of the period after the session starts.
        s.started = true;
        s.next = period / 6;
    }
    if (t < s.next)
        return;
    const ClassDesc &cls = *c.info->cls;
    // Each transceiver's remote starts at its own button.
    const size_t button = s.codeIndex + static_cast<size_t>(c.info->device->deviceId);
    std::string code = kIRCodes[button % std::size(kIRCodes)];
    EventArgs raw;
    raw.raw = necRaw(code);
    raw.raw.push_back(s.repeats == 0 ? 40000 : 96000);
    extra.emplace_back(cls.event("RawData"), std::move(raw));
    EventArgs a;
    a.s[0] = code;
    a.i[0] = 32;
    a.i[1] = s.repeats > 0;
    extra.emplace_back(cls.event("Code"), std::move(a));
    s.lastCode = code;
    s.lastBits = 32;
    if (++s.repeats == 3) {
        EventArgs l;
        l.s[0] = code;
        l.ir = necInfo();
        extra.emplace_back(cls.event("Learn"), std::move(l));
        s.learned = true;
        s.learnedCode = code;
        s.learnedInfo = necInfo();
    }
    if (s.repeats >= 4) {
        s.repeats = 0;
        ++s.codeIndex;
        s.next = t + period;
    } else {
        s.next = t + 0.11;
    }
}

// The room: every infrared channel of the same computer or server sees what
// one of them sends, its own transmitter only where the rig says its
// receiver hears it. Engine lock held.
template <class F>
void forEachReceiver(const Channel &tx, F &&receive)
{
    Engine &e = engine();
    for (const ChannelPtr &rx : e.channels) {
        if (rx->info->cls->cls != TINDREL_CHCLASS_IR || rx->info->device->server != tx.info->device->server)
            continue;
        if (rx.get() == &tx && !tx.info->hearsOwnSignal)
            continue;
        if (!rx->holder || !e.visible(*rx))
            continue;
        receive(*rx);
    }
}

void raiseOn(Channel &rx, const char *event, EventArgs args)
{
    engine().queueChannelEvent(rx.holder, SLOT_FIRST_EVENT + rx.info->cls->event(event), std::move(args));
}

// The marks and spaces of a code sent with its record: header, one pair per
// bit (most significant first), the trailing mark.
std::vector<uint32_t> irTimings(const std::string &code, const Tindrel_IRCodeInfo &info)
{
    std::vector<uint32_t> raw;
    if (info.header[0])
        raw.insert(raw.end(), {info.header[0], info.header[1]});
    const uint32_t bits = std::min<uint32_t>(info.bitCount, static_cast<uint32_t>(code.size() * 4));
    for (uint32_t i = bits; i-- > 0;) {
        const size_t digit = code.size() - 1 - i / 4;
        const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(code[digit])));
        const int nibble = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0' : ch - 'a' + 10;
        const bool one = (nibble >> (i % 4)) & 1;
        const uint32_t *pair = one ? info.one : info.zero;
        raw.insert(raw.end(), {pair[0], pair[1]});
    }
    if (info.trail)
        raw.push_back(info.trail);
    return raw;
}

// ---------------------------------------------------------------- RFID
// The tag that comes to a reader: what was written to it and its lock are
// the tag's, so they outlast the reader's sessions (a reopen, a replug) and
// go only with the rig.
struct RFIDTag : ClassState {
    bool locked = false;
    std::string text = "0102a3b4c5";
    Tindrel_RFIDProtocol protocol = TINDREL_RFID_PROTOCOL_EM4100;
};
struct RFIDState : ClassState {
    bool present = false;   // the tag is in the reader's field
};

// A tag is held to the reader for the first half of every period.
void rfidStep(Channel &c, double, double t, Raised &extra)
{
    RFIDState &s = stateOf<RFIDState>(c);
    double period = c.info->behaviour.set ? c.info->behaviour.period : 6.0;
    // TindrelSim_setInputValue(..., "TagPresent", ...) holds a tag there or away.
    size_t present = static_cast<size_t>(c.info->cls->props[static_cast<size_t>(propIndex(c, "TagPresent"))].slot);
    bool held = c.overridden[present] ? c.values[present] != 0 : std::fmod(t, period) < period / 2;
    bool now = get(c, "AntennaEnabled") != 0 && held;
    if (now == s.present)
        return;
    s.present = now;
    if (!c.overridden[present])
        value(c, propIndex(c, "TagPresent")) = now;
    const ClassDesc &cls = *c.info->cls;
    if (now) {
        EventArgs a;
        const RFIDTag &tag = keptOf<RFIDTag>(c);
        a.s[0] = tag.text;
        a.i[0] = tag.protocol;
        extra.emplace_back(cls.event("Tag"), std::move(a));
    } else {
        extra.emplace_back(cls.event("TagLost"), EventArgs());
    }
}

TindrelReturnCode checkTag(const char *tag, Tindrel_RFIDProtocol protocol)
{
    if (!tag)
        return fail(TINDREL_EFAULT, "Tag string is NULL");
    size_t n = std::strlen(tag);
    auto allOf = [&](auto pred) {
        for (size_t i = 0; i < n; ++i)
            if (!pred(static_cast<unsigned char>(tag[i])))
                return false;
        return true;
    };
    switch (protocol) {
    case TINDREL_RFID_PROTOCOL_EM4100:
        if (n == 10 && allOf([](int ch) { return isxdigit(ch) != 0; }))
            return TINDREL_OK;
        return fail(TINDREL_EINVALIDARG, "EM4100 tags hold 10 hexadecimal digits, not \"%s\"", tag);
    case TINDREL_RFID_PROTOCOL_ISO11785_FDX_B:
        if (n == 16 && tag[3] == '_' && allOf([](int ch) { return isdigit(ch) || ch == '_'; }))
            return TINDREL_OK;
        return fail(TINDREL_EINVALIDARG, "FDX-B tags are written as CCC_NNNNNNNNNNNN (country, id), not \"%s\"", tag);
    case TINDREL_RFID_PROTOCOL_TINDRELTAG:
        if (n >= 1 && n <= 24 && allOf([](int ch) { return isprint(ch) != 0; }))
            return TINDREL_OK;
        return fail(TINDREL_EINVALIDARG, "TindrelTag tags hold 1 to 24 printable characters, not \"%s\"", tag);
    case TINDREL_RFID_PROTOCOL_HID_GENERIC:
        if (n >= 1 && n <= 11 && allOf([](int ch) { return isxdigit(ch) != 0; }))
            return TINDREL_OK;
        return fail(TINDREL_EINVALIDARG, "HID Generic tags hold 1 to 11 hexadecimal digits, not \"%s\"", tag);
    case TINDREL_RFID_PROTOCOL_HID_H10301:
        if (n >= 1 && n <= 8 && allOf([](int ch) { return isdigit(ch) != 0; }))
            return TINDREL_OK;
        return fail(TINDREL_EINVALIDARG, "HID H10301 tags hold 1 to 8 decimal digits, not \"%s\"", tag);
    }
    return fail(TINDREL_EINVALIDARG, "RFID protocol %d is not known (1 - 5)", static_cast<int>(protocol));
}

// ---------------------------------------------------------------- GPS
struct GPSState : ClassState {
    bool fixed = false;
};
constexpr double kFixAfter = 1.5;   // seconds until the first fix
// The receiver loses its fix (under trees, between buildings) for
// kOutageLength seconds in every kOutageEvery.
constexpr double kOutageEvery = 60.0, kOutageStart = 40.0, kOutageLength = 6.0;
void gpsStep(Channel &c, double, double t, Raised &extra)
{
    GPSState &s = stateOf<GPSState>(c);
    // TindrelSim_setInputValue(..., "PositionFixState", 0 or 1) forces the fix off or on.
    const int fixProp = propIndex(c, "PositionFixState");
    const size_t fixSlot = static_cast<size_t>(c.info->cls->props[static_cast<size_t>(fixProp)].slot);
    bool fixed;
    if (c.overridden[fixSlot]) {
        fixed = c.values[fixSlot] != 0;
    } else {
        const double inCycle = std::fmod(t, kOutageEvery);
        fixed = t >= kFixAfter && !(inCycle >= kOutageStart && inCycle < kOutageStart + kOutageLength);
        value(c, fixProp) = fixed ? 1 : 0;
    }
    s.fixed = fixed;
    if (!fixed)
        return;
    const gps::TrackFix here = gps::trackAt(t * gps::kWalkKmh / 3.6);
    const double alt = 21.0 + 0.5 * std::sin(t / 7);
    value(c, propIndex(c, "Latitude")) = here.lat;
    value(c, propIndex(c, "Longitude")) = here.lon;
    value(c, propIndex(c, "Altitude")) = alt;
    value(c, propIndex(c, "Heading")) = here.heading;
    value(c, propIndex(c, "Velocity")) = gps::kWalkKmh;
    const ClassDesc &cls = *c.info->cls;
    EventArgs p;
    p.d[0] = here.lat;
    p.d[1] = here.lon;
    p.d[2] = alt;
    extra.emplace_back(cls.event("PositionChange"), std::move(p));
    EventArgs h;
    h.d[0] = here.heading;
    h.d[1] = gps::kWalkKmh;
    extra.emplace_back(cls.event("HeadingChange"), std::move(h));
}

template <class F>
TindrelReturnCode gpsClock(TindrelGPSHandle ch, void *out, F fill)
{
    if (!out)
        return fail(TINDREL_EFAULT, "Result pointer is NULL");
    return readCall(ch, TINDREL_CHCLASS_GPS, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (!stateOf<GPSState>(c).fixed)
            return fail(TINDREL_EUNKNOWNVAL, "The GPS has no fix yet; its time is not known");
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        gmtime_r(&now, &tm);
        fill(tm);
        return TINDREL_OK;
    });
}

// ---------------------------------------------------------------- dictionary
struct DictionaryState : ClassState {
    std::map<std::string, std::string> entries;
};
constexpr size_t kMaxKey = 255, kMaxValue = 1023;

DictionaryState &dictionary(Channel &c)
{
    if (!c.kept) {
        auto d = std::make_shared<DictionaryState>();
        d->entries = c.info->entries;
        c.kept = std::move(d);
    }
    return static_cast<DictionaryState &>(*c.kept);
}

TindrelReturnCode checkKey(const char *key)
{
    if (!key)
        return fail(TINDREL_EFAULT, "Key is NULL");
    size_t n = std::strlen(key);
    if (n == 0 || n > kMaxKey || std::strchr(key, '\n'))
        return fail(TINDREL_EINVALIDARG, "Key \"%s\" must be 1 to %zu bytes without line breaks", key, kMaxKey);
    return TINDREL_OK;
}
TindrelReturnCode checkValue(const char *v)
{
    if (!v)
        return fail(TINDREL_EFAULT, "Value is NULL");
    if (std::strlen(v) > kMaxValue)
        return fail(TINDREL_ETOOBIG, "Value of %zu bytes is longer than %zu", std::strlen(v), kMaxValue);
    return TINDREL_OK;
}

enum class Put { Add, Update, Set };
TindrelReturnCode dictionaryPut(TindrelDictionaryHandle ch, const char *key, const char *v, Put how)
{
    if (TindrelReturnCode rc = checkKey(key))
        return rc;
    if (TindrelReturnCode rc = checkValue(v))
        return rc;
    return call(ch, TINDREL_CHCLASS_DICTIONARY, [&](Channel &c, Raised &raised) -> TindrelReturnCode {
        auto &e = dictionary(c).entries;
        bool exists = e.count(key) > 0;
        if (how == Put::Add && exists)
            return fail(TINDREL_EEXIST, "Key \"%s\" is already in the dictionary", key);
        if (how == Put::Update && !exists)
            return fail(TINDREL_ENOENT, "No key \"%s\" in the dictionary", key);
        e[key] = v;
        EventArgs a;
        a.s[0] = key;
        a.s[1] = v;
        raised.emplace_back(c.info->cls->event(exists ? "Update" : "Add"), std::move(a));
        return TINDREL_OK;
    });
}

// A change made by another client of the server: the dictionary changes and
// every handle open on it hears of it as of any change.
template <class Change>
TindrelReturnCode otherClient(const char *deviceId, int channelIndex, Change change)
{
    if (!deviceId)
        return fail(TINDREL_EFAULT, "Device id is NULL");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    std::string err;
    ChannelPtr c = e.findChannel(deviceId, TINDREL_CHCLASS_DICTIONARY, channelIndex, err);
    if (!c)
        return fail(TINDREL_ENOENT, "%s", err.c_str());
    Raised raised;
    if (TindrelReturnCode rc = change(*c, dictionary(*c).entries, raised))
        return rc;
    for (_Tindrel *to : c->openHandles())
        for (const auto &[ev, args] : raised)
            e.queueChannelEvent(to, SLOT_FIRST_EVENT + ev, args);
    return TINDREL_OK;
}

// ---------------------------------------------------------------- firmware upgrade
constexpr double kIdentifyAfter = 0.3;   // seconds a loader needs to learn its device's identity
constexpr size_t kMaxImage = 1 << 20;
// A transfer takes a few seconds: a rate, within bounds, in this many steps.
constexpr double kBytesPerSecond = 6000;
constexpr double kMinTransfer = 1.5, kMaxTransfer = 4.0;
constexpr int kTransferSteps = 20;

const ClassHooks kIRHooks{nullptr, nullptr, nullptr, irStep};
const ClassHooks kRFIDHooks{nullptr, nullptr, nullptr, rfidStep};
const ClassHooks kGPSHooks{nullptr, nullptr, nullptr, gpsStep};

}   // namespace

namespace tsim {

const ClassHooks *methodHooksFor(Tindrel_ChannelClass cls)
{
    switch (cls) {
    case TINDREL_CHCLASS_IR:
        return &kIRHooks;
    case TINDREL_CHCLASS_RFID:
        return &kRFIDHooks;
    case TINDREL_CHCLASS_GPS:
        return &kGPSHooks;
    default:
        return nullptr;
    }
}

}   // namespace tsim

extern "C" {

TindrelReturnCode TindrelVoltageInput_getSensorUnit(TindrelVoltageInputHandle ch, Tindrel_UnitInfo *unit)
{
    if (!unit)
        return fail(TINDREL_EFAULT, "Unit pointer is NULL");
    return valuesCall(ch, TINDREL_CHCLASS_VOLTAGEINPUT, [&](Channel &c, Raised &) -> TindrelReturnCode {
        sensorUnit(c, *unit);
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelVoltageRatioInput_getSensorUnit(TindrelVoltageRatioInputHandle ch, Tindrel_UnitInfo *unit)
{
    if (!unit)
        return fail(TINDREL_EFAULT, "Unit pointer is NULL");
    return valuesCall(ch, TINDREL_CHCLASS_VOLTAGERATIOINPUT, [&](Channel &c, Raised &) -> TindrelReturnCode {
        sensorUnit(c, *unit);
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelFrequencyCounter_reset(TindrelFrequencyCounterHandle ch)
{
    return call(ch, TINDREL_CHCLASS_FREQUENCYCOUNTER, [](Channel &c, Raised &) -> TindrelReturnCode {
        value(c, propIndex(c, "Count")) = 0;
        value(c, propIndex(c, "TimeElapsed")) = 0;
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelBLDCMotor_addPositionOffset(TindrelBLDCMotorHandle ch, double offset)
{
    return call(ch, TINDREL_CHCLASS_BLDCMOTOR,
                [&](Channel &c, Raised &) -> TindrelReturnCode { return addPositionOffset(c, offset); });
}

TindrelReturnCode TindrelMotorPositionController_addPositionOffset(TindrelMotorPositionControllerHandle ch,
                                                                   double offset)
{
    return call(ch, TINDREL_CHCLASS_MOTORPOSITIONCONTROLLER,
                [&](Channel &c, Raised &) -> TindrelReturnCode { return addPositionOffset(c, offset); });
}

TindrelReturnCode TindrelStepper_addPositionOffset(TindrelStepperHandle ch, double offset)
{
    return call(ch, TINDREL_CHCLASS_STEPPER,
                [&](Channel &c, Raised &) -> TindrelReturnCode { return addPositionOffset(c, offset); });
}

TindrelReturnCode TindrelStepper_enableFailsafe(TindrelStepperHandle ch, uint32_t failsafeTime)
{
    return call(ch, TINDREL_CHCLASS_STEPPER,
                [&](Channel &c, Raised &) -> TindrelReturnCode { return stepperFailsafe(c, true, failsafeTime); });
}

TindrelReturnCode TindrelStepper_resetFailsafe(TindrelStepperHandle ch)
{
    return call(ch, TINDREL_CHCLASS_STEPPER,
                [&](Channel &c, Raised &) -> TindrelReturnCode { return stepperFailsafe(c, false, 0); });
}

TindrelReturnCode TindrelGyroscope_zero(TindrelGyroscopeHandle ch)
{
    return call(ch, TINDREL_CHCLASS_GYROSCOPE, [](Channel &c, Raised &) -> TindrelReturnCode {
        behaviour::zeroGyroscope(c);
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelMagnetometer_setCorrectionParameters(TindrelMagnetometerHandle ch, double magneticField,
                                                              double offset0, double offset1, double offset2,
                                                              double gain0, double gain1, double gain2, double T0,
                                                              double T1, double T2, double T3, double T4, double T5)
{
    const double all[] = {magneticField, offset0, offset1, offset2, gain0, gain1, gain2, T0, T1, T2, T3, T4, T5};
    for (double v : all)
        if (!std::isfinite(v))
            return fail(TINDREL_EINVALIDARG, "Correction parameters must be numbers");
    if (magneticField <= 0 || magneticField > 1)
        return fail(TINDREL_EINVALIDARG, "Value %g is out of range for the ambient magnetic field (0 - 1 G)",
                    magneticField);
    for (double g : {gain0, gain1, gain2})
        if (g <= 0)
            return fail(TINDREL_EINVALIDARG, "Gain %g must be above 0", g);
    return call(ch, TINDREL_CHCLASS_MAGNETOMETER, [&all](Channel &c, Raised &) -> TindrelReturnCode {
        behaviour::setMagnetometerCorrection(c, all);
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelMagnetometer_resetCorrectionParameters(TindrelMagnetometerHandle ch)
{
    return call(ch, TINDREL_CHCLASS_MAGNETOMETER, [](Channel &c, Raised &) -> TindrelReturnCode {
        behaviour::resetMagnetometerCorrection(c);
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelMagnetometer_saveCorrectionParameters(TindrelMagnetometerHandle ch)
{
    return call(ch, TINDREL_CHCLASS_MAGNETOMETER, [](Channel &c, Raised &) -> TindrelReturnCode {
        behaviour::saveMagnetometerCorrection(c);
        return TINDREL_OK;
    });
}

// ---------------------------------------------------------------- LED array

TindrelReturnCode TindrelLEDArray_setLEDs(TindrelLEDArrayHandle ch, uint32_t startAddress, uint32_t endAddress,
                                          const Tindrel_LEDColor *leds, size_t count, uint32_t fadeTime)
{
    if (!leds)
        return fail(TINDREL_EFAULT, "LED colours are NULL");
    if (count == 0)
        return fail(TINDREL_EINVALIDARG, "No LED colours given");
    if (fadeTime > 60000)
        return fail(TINDREL_EINVALIDARG, "Value %u is out of range for the fade time (0 - 60000 ms)", fadeTime);
    return call(ch, TINDREL_CHCLASS_LEDARRAY, [&](Channel &c, Raised &) -> TindrelReturnCode {
        uint32_t n = static_cast<uint32_t>(get(c, "LEDCount"));
        if (startAddress > endAddress || endAddress >= n)
            return fail(TINDREL_EINVALIDARG, "LED addresses %u to %u are outside 0 - %u", startAddress, endAddress,
                        n - 1);
        LEDState &s = stateOf<LEDState>(c);
        s.leds.resize(n);
        for (uint32_t a = startAddress; a <= endAddress; ++a)
            s.set(a, leds[(a - startAddress) % count], fadeTime);   // a shorter list repeats
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelLEDArray_clearLEDs(TindrelLEDArrayHandle ch)
{
    return call(ch, TINDREL_CHCLASS_LEDARRAY, [](Channel &c, Raised &) -> TindrelReturnCode {
        stateOf<LEDState>(c).leds.assign(static_cast<size_t>(get(c, "LEDCount")), LEDState::Led{});
        return TINDREL_OK;
    });
}

// ---------------------------------------------------------------- LCD

TindrelReturnCode TindrelLCD_initialize(TindrelLCDHandle ch)
{
    return call(ch, TINDREL_CHCLASS_LCD, [](Channel &c, Raised &) -> TindrelReturnCode {
        // Starts afresh; frame buffers saved to the display come back.
        auto fresh = std::make_unique<LCDState>();
        fresh->saved = stateOf<LCDState>(c).saved;
        fresh->frames = fresh->saved;
        c.state = std::move(fresh);
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelLCD_clear(TindrelLCDHandle ch)
{
    return call(ch, TINDREL_CHCLASS_LCD, [](Channel &c, Raised &) -> TindrelReturnCode {
        LCDState &s = stateOf<LCDState>(c);
        for (auto &row : s.rows)
            std::fill(row.begin(), row.end(), ' ');
        s.cursorCol = s.cursorRow = 0;
        auto &f = frame(c, s);
        std::fill(f.begin(), f.end(), 0);
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelLCD_flush(TindrelLCDHandle ch)
{
    return call(ch, TINDREL_CHCLASS_LCD, [](Channel &c, Raised &) -> TindrelReturnCode { return lcdFlush(c); });
}

TindrelReturnCode TindrelLCD_writeText(TindrelLCDHandle ch, Tindrel_LCDFont font, int xPosition, int yPosition,
                                       const char *text)
{
    return call(ch, TINDREL_CHCLASS_LCD, [&](Channel &c, Raised &) -> TindrelReturnCode {
        return lcdWriteText(c, font, xPosition, yPosition, text);
    });
}

TindrelReturnCode TindrelLCD_setCharacterBitmap(TindrelLCDHandle ch, Tindrel_LCDFont font, const char *character,
                                                const uint8_t *bitmap)
{
    if (!character || !bitmap)
        return fail(TINDREL_EFAULT, "Character and bitmap must not be NULL");
    if (std::strlen(character) != 1)
        return fail(TINDREL_EINVALIDARG, "A character bitmap is set for exactly one character, not \"%s\"", character);
    return call(ch, TINDREL_CHCLASS_LCD, [&](Channel &c, Raised &) -> TindrelReturnCode {
        LCDState &s = stateOf<LCDState>(c);
        if (TindrelReturnCode rc = checkFont(c, s, font))
            return rc;
        auto [w, h] = fontCell(s, font);
        s.glyphs[font][static_cast<uint8_t>(character[0])].assign(bitmap, bitmap + w * h);
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelLCD_setFontSize(TindrelLCDHandle ch, Tindrel_LCDFont font, int width, int height)
{
    if (font != TINDREL_LCD_FONT_USER1 && font != TINDREL_LCD_FONT_USER2)
        return fail(TINDREL_EINVALIDARG, "Only user fonts 1 and 2 can be sized, not font %d", static_cast<int>(font));
    if (width < 1 || width > 16 || height < 1 || height > 16)
        return fail(TINDREL_EINVALIDARG, "Font size %d x %d is out of range (1 - 16 each)", width, height);
    return call(ch, TINDREL_CHCLASS_LCD, [&](Channel &c, Raised &) -> TindrelReturnCode {
        LCDState &s = stateOf<LCDState>(c);
        s.fontW[font] = width;
        s.fontH[font] = height;
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelLCD_saveFrameBuffer(TindrelLCDHandle ch, int frameBuffer)
{
    if (frameBuffer < 0 || frameBuffer > 2)
        return fail(TINDREL_EINVALIDARG, "Value %d is out of range for FrameBuffer (0 - 2)", frameBuffer);
    return call(ch, TINDREL_CHCLASS_LCD, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (TindrelReturnCode rc = graphicOnly(c, "saveFrameBuffer"))
            return rc;
        LCDState &s = stateOf<LCDState>(c);
        s.frames[static_cast<size_t>(frameBuffer)].resize(static_cast<size_t>(get(c, "Width") * get(c, "Height")));
        s.saved[static_cast<size_t>(frameBuffer)] = s.frames[static_cast<size_t>(frameBuffer)];
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelLCD_drawLine(TindrelLCDHandle ch, int x1, int y1, int x2, int y2)
{
    return call(ch, TINDREL_CHCLASS_LCD,
                [&](Channel &c, Raised &) -> TindrelReturnCode { return lcdDrawLine(c, x1, y1, x2, y2); });
}

TindrelReturnCode TindrelLCD_drawRect(TindrelLCDHandle ch, int x1, int y1, int x2, int y2, int filled, int inverted)
{
    return call(ch, TINDREL_CHCLASS_LCD, [&](Channel &c, Raised &) -> TindrelReturnCode {
        return lcdDrawRect(c, x1, y1, x2, y2, filled, inverted);
    });
}

TindrelReturnCode TindrelLCD_drawPixel(TindrelLCDHandle ch, int x, int y, Tindrel_LCDPixelState state)
{
    if (state < TINDREL_LCD_PIXEL_OFF || state > TINDREL_LCD_PIXEL_INVERT)
        return fail(TINDREL_EINVALIDARG, "Pixel state %d is not known (0 - 2)", static_cast<int>(state));
    return call(ch, TINDREL_CHCLASS_LCD, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (TindrelReturnCode rc = graphicOnly(c, "drawPixel"))
            return rc;
        if (TindrelReturnCode rc = checkPoint(c, x, y, "Pixel"))
            return rc;
        plot(c, stateOf<LCDState>(c), x, y, state);
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelLCD_copy(TindrelLCDHandle ch, int sourceFramebuffer, int destFramebuffer, int sourceX1,
                                  int sourceY1, int sourceX2, int sourceY2, int destX, int destY, int inverted)
{
    return call(ch, TINDREL_CHCLASS_LCD, [&](Channel &c, Raised &) -> TindrelReturnCode {
        return lcdCopy(c, sourceFramebuffer, destFramebuffer, sourceX1, sourceY1, sourceX2, sourceY2, destX, destY,
                       inverted);
    });
}

TindrelReturnCode TindrelLCD_writeBitmap(TindrelLCDHandle ch, int xPosition, int yPosition, int xSize, int ySize,
                                         const uint8_t *bitmap)
{
    if (!bitmap)
        return fail(TINDREL_EFAULT, "Bitmap is NULL");
    if (xSize < 1 || ySize < 1)
        return fail(TINDREL_EINVALIDARG, "Bitmap size %d x %d must be at least 1 x 1", xSize, ySize);
    return call(ch, TINDREL_CHCLASS_LCD, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (TindrelReturnCode rc = graphicOnly(c, "writeBitmap"))
            return rc;
        if (TindrelReturnCode rc = checkPoint(c, xPosition, yPosition, "Bitmap corner"))
            return rc;
        if (TindrelReturnCode rc = checkPoint(c, xPosition + xSize - 1, yPosition + ySize - 1, "Bitmap corner"))
            return rc;
        LCDState &s = stateOf<LCDState>(c);
        for (int y = 0; y < ySize; ++y)
            for (int x = 0; x < xSize; ++x)
                plot(c, s, xPosition + x, yPosition + y, bitmap[y * xSize + x] ? 1 : 0);
        return TINDREL_OK;
    });
}

void TindrelLCD_drawLine_async(TindrelLCDHandle ch, int x1, int y1, int x2, int y2, Tindrel_AsyncCallback fptr,
                               void *ctx)
{
    asyncCall(ch, fptr, ctx, [&](Channel &c) -> TindrelReturnCode { return lcdDrawLine(c, x1, y1, x2, y2); });
}

void TindrelLCD_drawRect_async(TindrelLCDHandle ch, int x1, int y1, int x2, int y2, int filled, int inverted,
                               Tindrel_AsyncCallback fptr, void *ctx)
{
    asyncCall(ch, fptr, ctx,
              [&](Channel &c) -> TindrelReturnCode { return lcdDrawRect(c, x1, y1, x2, y2, filled, inverted); });
}

void TindrelLCD_copy_async(TindrelLCDHandle ch, int sourceFramebuffer, int destFramebuffer, int sourceX1, int sourceY1,
                           int sourceX2, int sourceY2, int destX, int destY, int inverted, Tindrel_AsyncCallback fptr,
                           void *ctx)
{
    asyncCall(ch, fptr, ctx, [&](Channel &c) -> TindrelReturnCode {
        return lcdCopy(c, sourceFramebuffer, destFramebuffer, sourceX1, sourceY1, sourceX2, sourceY2, destX, destY,
                       inverted);
    });
}

void TindrelLCD_writeText_async(TindrelLCDHandle ch, Tindrel_LCDFont font, int xPosition, int yPosition,
                                const char *text, Tindrel_AsyncCallback fptr, void *ctx)
{
    asyncCall(ch, fptr, ctx,
              [&](Channel &c) -> TindrelReturnCode { return lcdWriteText(c, font, xPosition, yPosition, text); });
}

void TindrelLCD_flush_async(TindrelLCDHandle ch, Tindrel_AsyncCallback fptr, void *ctx)
{
    asyncCall(ch, fptr, ctx, [](Channel &c) -> TindrelReturnCode { return lcdFlush(c); });
}

// ---------------------------------------------------------------- data adapter

extern "C++" {
namespace {

const char *busName(const Channel &c) { return c.info->device->deviceId == kSerialAdapter ? "Serial" : "SPI"; }

// The answer of the device on the bus to one packet (SPI or the serial line).
TindrelReturnCode busExchange(Channel &c, const uint8_t *data, size_t length, std::vector<uint8_t> &reply)
{
    BusState &s = stateOf<BusState>(c);
    reply.clear();
    if (c.info->device->deviceId == kSerialAdapter) {
        reply.assign(data, data + length);
        return TINDREL_OK;
    }
    if (get(c, "Frequency") > 8) {
        s.record("SPI sent " + hexBytes(data, length) + " no answer");
        return fail(TINDREL_ETIMEDOUT, "The SPI device did not answer: it keeps up to 3 MHz, the clock is 6 MHz");
    }
    if (data[0] == 0x9F) {
        reply = {0x7D, 0x1E, 0x83, 0x10};
    } else if (data[0] == 0x02 && length >= 2) {
        for (size_t i = 2; i < length; ++i)
            s.spiMemory[static_cast<uint8_t>(data[1] + i - 2)] = data[i];
    } else if (data[0] == 0x03 && length >= 2) {
        size_t n = length >= 3 ? data[2] : 1;
        for (size_t i = 0; i < n; ++i)
            reply.push_back(s.spiMemory[static_cast<uint8_t>(data[1] + i)]);
    } else {
        for (size_t i = 0; i < length; ++i)
            reply.push_back(static_cast<uint8_t>(~data[i]));
    }
    return TINDREL_OK;
}

}   // namespace
}

TindrelReturnCode TindrelDataAdapter_sendPacket(TindrelDataAdapterHandle ch, const uint8_t *data, size_t length)
{
    return call(ch, TINDREL_CHCLASS_DATAADAPTER, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (TindrelReturnCode rc = checkPacket(c, data, length))
            return rc;
        if (c.info->device->deviceId == kI2CAdapter)
            return notOn(c, "sendPacket (use i2cSendReceive)");
        std::vector<uint8_t> reply;
        if (TindrelReturnCode rc = busExchange(c, data, length, reply))
            return rc;
        stateOf<BusState>(c).record(std::string(busName(c)) + " sent " + hexBytes(data, length));
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelDataAdapter_sendPacketWaitResponse(TindrelDataAdapterHandle ch, const uint8_t *data,
                                                            size_t length, uint8_t *recvData, size_t *recvDataLen)
{
    if (!recvData || !recvDataLen)
        return fail(TINDREL_EFAULT, "Reply buffer and length must not be NULL");
    return call(ch, TINDREL_CHCLASS_DATAADAPTER, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (TindrelReturnCode rc = checkPacket(c, data, length))
            return rc;
        if (c.info->device->deviceId == kI2CAdapter)
            return notOn(c, "sendPacketWaitResponse (use i2cSendReceive)");
        std::vector<uint8_t> reply;
        if (TindrelReturnCode rc = busExchange(c, data, length, reply))
            return rc;
        if (*recvDataLen < reply.size()) {
            size_t room = *recvDataLen;
            *recvDataLen = 0;
            return fail(TINDREL_ENOSPC, "The %zu-byte reply does not fit in %zu bytes", reply.size(), room);
        }
        std::copy(reply.begin(), reply.end(), recvData);
        *recvDataLen = reply.size();
        stateOf<BusState>(c).record(std::string(busName(c)) + " sent " + hexBytes(data, length) + " reply " +
                                    hexBytes(reply.data(), reply.size()));
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelDataAdapter_i2cSendReceive(TindrelDataAdapterHandle ch, uint32_t address, const uint8_t *data,
                                                    size_t length, uint8_t *recvData, size_t *recvDataLen)
{
    if (!recvDataLen || (*recvDataLen && !recvData))
        return fail(TINDREL_EFAULT, "Reply buffer and length must not be NULL");
    if (address > 0x7f)
        return fail(TINDREL_EINVALIDARG, "I2C address 0x%x is out of range (0x00 - 0x7f)", address);
    return call(ch, TINDREL_CHCLASS_DATAADAPTER, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (c.info->device->deviceId != kI2CAdapter)
            return notOn(c, "i2cSendReceive");
        if (length && !data)
            return fail(TINDREL_EFAULT, "Packet data is NULL");
        if (static_cast<double>(length) > get(c, "MaxPacketLength") ||
            static_cast<double>(*recvDataLen) > get(c, "MaxPacketLength"))
            return fail(TINDREL_ETOOBIG, "I2C transfers are limited to %g bytes", get(c, "MaxPacketLength"));
        BusState &s = stateOf<BusState>(c);
        const size_t want = *recvDataLen;
        std::vector<uint8_t> reply;
        constexpr double k100kHz = 2;
        if (address == kTempSensorAddress && get(c, "Frequency") > k100kHz) {
            *recvDataLen = 0;
            s.record("I2C 0x48 sent " + hexBytes(data, length) + " no answer");
            return fail(TINDREL_ETIMEDOUT, "The I2C device at 0x48 did not answer: it keeps up to 100 kHz, the clock "
                                           "is 400 kHz");
        }
        if (address == kTempSensorAddress) {
            if (length)
                s.tempRegister = data[0];
            if (length >= 2 && s.tempRegister == 1)
                s.tempConfig = data[1];
            const int t = sensorTemperature(c);
            for (size_t i = 0; i < want; ++i) {
                uint8_t v = 0xFF;
                if (s.tempRegister == 0)
                    v = i == 0 ? static_cast<uint8_t>((t >> 8) & 0xFF) : i == 1 ? static_cast<uint8_t>(t & 0xFF) : 0;
                else if (s.tempRegister == 1)
                    v = s.tempConfig;
                else if (s.tempRegister == 0x0F)
                    v = 0xA1;
                reply.push_back(v);
            }
        } else if (address == kMemoryAddress) {
            if (length)
                s.memoryPointer = data[0];
            for (size_t i = 1; i < length; ++i)
                s.memory[s.memoryPointer++] = data[i];
            for (size_t i = 0; i < want; ++i)
                reply.push_back(s.memory[s.memoryPointer++]);
        } else {
            *recvDataLen = 0;
            s.record("I2C 0x" + hexBytes(reinterpret_cast<const uint8_t *>(&address), 1) + " no answer");
            return fail(TINDREL_EIO, "No device answered at I2C address 0x%02x", address);
        }
        std::copy(reply.begin(), reply.end(), recvData);
        s.record("I2C 0x" + hexBytes(reinterpret_cast<const uint8_t *>(&address), 1) + " sent " +
                 hexBytes(data, length) + " reply " + hexBytes(reply.data(), reply.size()));
        return TINDREL_OK;
    });
}

// ---------------------------------------------------------------- read-back of displays (test control)

extern "C++" {
namespace {

// Finds the channel by rig id and runs fn on it under the engine's lock.
template <class F>
TindrelReturnCode onRigChannel(const char *deviceId, Tindrel_ChannelClass cls, int index, F &&fn)
{
    if (!deviceId)
        return fail(TINDREL_EFAULT, "Device id is NULL");
    Engine &e = engine();
    std::lock_guard<std::mutex> lk(e.m);
    e.ensureRig();
    std::string msg;
    ChannelPtr c = e.findChannel(deviceId, cls, index, msg);
    if (!c)
        return fail(TINDREL_ENOENT, "%s", msg.c_str());
    return fn(*c);
}

TindrelReturnCode copyBytes(const std::vector<uint8_t> &v, uint8_t *buf, size_t *len)
{
    if (!len)
        return fail(TINDREL_EFAULT, "Length pointer is NULL");
    size_t room = *len;
    *len = v.size();
    if (!buf || room < v.size())
        return fail(TINDREL_ENOSPC, "%zu bytes are needed, the buffer has %zu", v.size(), buf ? room : 0);
    std::copy(v.begin(), v.end(), buf);
    return TINDREL_OK;
}

// The display's dots (picture false) or grey levels (true), with its size.
TindrelReturnCode lcdOut(Channel &c, bool picture, uint8_t *out, size_t *len, int *width, int *height)
{
    LCDState &s = stateOf<LCDState>(c);
    if (width)
        *width = s.shownW;
    if (height)
        *height = s.shownH;
    return copyBytes(picture ? lcdPicture(c) : lcdDots(c), out, len);
}

TindrelReturnCode ledsOut(Channel &c, uint8_t *rgbw, size_t *count)
{
    if (!count)
        return fail(TINDREL_EFAULT, "Count pointer is NULL");
    LEDState &s = stateOf<LEDState>(c);
    s.leds.resize(static_cast<size_t>(get(c, "LEDCount")));
    std::vector<uint8_t> bytes;
    for (const auto &l : s.leds) {
        Tindrel_LEDColor o = ledOutput(c, l);
        bytes.insert(bytes.end(), {o.r, o.g, o.b, o.w});
    }
    size_t room = *count * 4;
    TindrelReturnCode rc = copyBytes(bytes, rgbw, &room);
    *count = s.leds.size();
    return rc;
}

std::string escapedRows(const std::vector<std::string> &rows)
{
    std::string out;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (r)
            out += '\n';
        for (unsigned char ch : rows[r]) {
            if (ch >= 32 && ch < 127 && ch != '\\') {
                out += static_cast<char>(ch);
            } else {
                char b[8];
                std::snprintf(b, sizeof b, "\\x%02x", ch);
                out += b;
            }
        }
    }
    return out;
}

TindrelReturnCode textOut(const std::string &text, char *buf, size_t *len)
{
    if (!len)
        return fail(TINDREL_EFAULT, "Length pointer is NULL");
    size_t room = *len;
    *len = text.size() + 1;
    if (!buf || room < text.size() + 1)
        return fail(TINDREL_ENOSPC, "%zu bytes are needed", text.size() + 1);
    std::memcpy(buf, text.c_str(), text.size() + 1);
    return TINDREL_OK;
}

}   // namespace
}

// ---------------------------------------------------------------- infrared

TindrelReturnCode TindrelIR_transmit(TindrelIRHandle ch, const char *code, Tindrel_IRCodeInfo *codeInfo)
{
    if (!code || !codeInfo)
        return fail(TINDREL_EFAULT, "Code and code information must not be NULL");
    if (!isHex(code) || std::strlen(code) > 32)
        return fail(TINDREL_EINVALIDARG, "IR code \"%s\" must be 1 to 32 hexadecimal digits", code);
    if (codeInfo->bitCount < 1 || codeInfo->bitCount > 128)
        return fail(TINDREL_EINVALIDARG, "Value %u is out of range for the bit count (1 - 128)", codeInfo->bitCount);
    if (codeInfo->encoding < 2 || codeInfo->encoding > 6)
        return fail(TINDREL_EINVALIDARG, "IR encoding %u is not known (2 - 6)", codeInfo->encoding);
    const std::string sent = code;
    const Tindrel_IRCodeInfo info = *codeInfo;
    return call(ch, TINDREL_CHCLASS_IR, [&](Channel &tx, Raised &) -> TindrelReturnCode {
        // Every receiver in the room measures the timings, decodes the code
        // and, as the code came with its full record, learns it.
        forEachReceiver(tx, [&](Channel &rx) {
            IRState &s = stateOf<IRState>(rx);
            EventArgs raw;
            raw.raw = irTimings(sent, info);
            raw.raw.push_back(info.gap ? info.gap : 40000);
            raiseOn(rx, "RawData", std::move(raw));
            EventArgs a;
            a.s[0] = sent;
            a.i[0] = static_cast<int>(info.bitCount);
            a.i[1] = 0;
            raiseOn(rx, "Code", std::move(a));
            EventArgs l;
            l.s[0] = sent;
            l.ir = info;
            raiseOn(rx, "Learn", std::move(l));
            s.lastCode = s.learnedCode = sent;
            s.lastBits = info.bitCount;
            s.learned = true;
            s.learnedInfo = info;
        });
        ++keptOf<IRSent>(tx).signals;
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelIR_transmitRaw(TindrelIRHandle ch, const uint32_t *data, size_t dataLen,
                                        uint32_t carrierFrequency, double dutyCycle, uint32_t gap)
{
    if (dataLen && !data)
        return fail(TINDREL_EFAULT, "Raw data is NULL");
    if (dataLen > 200)
        return fail(TINDREL_ETOOBIG, "%zu raw durations are more than the 200 the transmitter takes", dataLen);
    if (dataLen % 2 == 0 && dataLen)
        return fail(TINDREL_EINVALIDARG, "Raw data must start and end with a pulse (an odd count), not %zu", dataLen);
    if (carrierFrequency && (carrierFrequency < 10000 || carrierFrequency > 1000000))
        return fail(TINDREL_EINVALIDARG, "Value %u is out of range for the carrier frequency (10000 - 1000000 Hz)",
                    carrierFrequency);
    if (dutyCycle != 0 && (dutyCycle < 0.1 || dutyCycle > 0.5))
        return fail(TINDREL_EINVALIDARG, "Value %g is out of range for the duty cycle (0.1 - 0.5)", dutyCycle);
    std::vector<uint32_t> sent(data, data + dataLen);
    TindrelReturnCode rc = call(ch, TINDREL_CHCLASS_IR, [&](Channel &tx, Raised &) -> TindrelReturnCode {
        // Receivers in the room measure the timings and the trailing gap.
        forEachReceiver(tx, [&](Channel &rx) {
            EventArgs raw;
            raw.raw = sent;
            raw.raw.push_back(gap);
            raiseOn(rx, "RawData", std::move(raw));
        });
        ++keptOf<IRSent>(tx).signals;
        return TINDREL_OK;
    });
    if (rc != TINDREL_OK)
        return rc;
    // The transmitter is busy for as long as the signal lasts (microseconds),
    // its trailing gap included; bounded so a bad gap cannot hang a caller.
    uint64_t us = gap;
    for (uint32_t v : sent)
        us += v;
    std::this_thread::sleep_for(std::chrono::microseconds(std::min<uint64_t>(us, 2000000)));
    return TINDREL_OK;
}

TindrelReturnCode TindrelIR_getLastCode(TindrelIRHandle ch, char *code, size_t codeLen, uint32_t *bitCount)
{
    if (!bitCount)
        return fail(TINDREL_EFAULT, "Bit count pointer is NULL");
    return readCall(ch, TINDREL_CHCLASS_IR, [&](Channel &c, Raised &) -> TindrelReturnCode {
        IRState &s = stateOf<IRState>(c);
        if (s.lastCode.empty())
            return fail(TINDREL_EUNKNOWNVAL, "No IR code has been received yet");
        *bitCount = s.lastBits;
        return copyOut(s.lastCode, code, codeLen, "IR code");
    });
}

TindrelReturnCode TindrelIR_getLastLearnedCode(TindrelIRHandle ch, char *code, size_t codeLen,
                                               Tindrel_IRCodeInfo *codeInfo)
{
    if (!codeInfo)
        return fail(TINDREL_EFAULT, "Code information pointer is NULL");
    return readCall(ch, TINDREL_CHCLASS_IR, [&](Channel &c, Raised &) -> TindrelReturnCode {
        IRState &s = stateOf<IRState>(c);
        if (!s.learned)
            return fail(TINDREL_EUNKNOWNVAL, "No IR code has been learned yet");
        if (TindrelReturnCode rc = copyOut(s.learnedCode, code, codeLen, "IR code"))
            return rc;
        *codeInfo = s.learnedInfo;
        return TINDREL_OK;
    });
}

// ---------------------------------------------------------------- RFID

TindrelReturnCode TindrelRFID_write(TindrelRFIDHandle ch, const char *tagString, Tindrel_RFIDProtocol protocol,
                                    int lockTag)
{
    if (TindrelReturnCode rc = checkTag(tagString, protocol))
        return rc;
    return call(ch, TINDREL_CHCLASS_RFID, [&](Channel &c, Raised &raised) -> TindrelReturnCode {
        RFIDState &s = stateOf<RFIDState>(c);
        if (c.info->device->deviceId == 13)
            return notOn(c, "write");   // the read-only reader
        if (get(c, "AntennaEnabled") == 0)
            return fail(TINDREL_EINVALIDSTATE, "The antenna is off; enable it to write a tag");
        if (!s.present)
            return fail(TINDREL_EINVALIDSTATE, "No tag is in the reader's field");
        RFIDTag &tag = keptOf<RFIDTag>(c);
        if (tag.locked)
            return fail(TINDREL_EACCESS, "The tag \"%s\" is locked and cannot be written", tag.text.c_str());
        tag.text = tagString;
        tag.protocol = protocol;
        tag.locked = lockTag != 0;
        EventArgs a;   // the reader sees the rewritten tag at once
        a.s[0] = tag.text;
        a.i[0] = tag.protocol;
        raised.emplace_back(c.info->cls->event("Tag"), std::move(a));
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelRFID_getLastTag(TindrelRFIDHandle ch, char *tagString, size_t tagStringLen,
                                         Tindrel_RFIDProtocol *protocol)
{
    if (!protocol)
        return fail(TINDREL_EFAULT, "Protocol pointer is NULL");
    return readCall(ch, TINDREL_CHCLASS_RFID, [&](Channel &c, Raised &) -> TindrelReturnCode {
        const RFIDTag &tag = keptOf<RFIDTag>(c);
        *protocol = tag.protocol;
        return copyOut(tag.text, tagString, tagStringLen, "Tag");
    });
}

// ---------------------------------------------------------------- GPS

TindrelReturnCode TindrelGPS_getTime(TindrelGPSHandle ch, Tindrel_GPSTime *time)
{
    return gpsClock(ch, time, [&](const std::tm &tm) {
        *time = {0, static_cast<int16_t>(tm.tm_sec), static_cast<int16_t>(tm.tm_min), static_cast<int16_t>(tm.tm_hour)};
    });
}

TindrelReturnCode TindrelGPS_getDate(TindrelGPSHandle ch, Tindrel_GPSDate *date)
{
    return gpsClock(ch, date, [&](const std::tm &tm) {
        *date = {static_cast<int16_t>(tm.tm_mday), static_cast<int16_t>(tm.tm_mon + 1),
                 static_cast<int16_t>(tm.tm_year + 1900)};
    });
}

// ---------------------------------------------------------------- dictionary

TindrelReturnCode TindrelDictionary_add(TindrelDictionaryHandle ch, const char *key, const char *value)
{
    return dictionaryPut(ch, key, value, Put::Add);
}

TindrelReturnCode TindrelDictionary_update(TindrelDictionaryHandle ch, const char *key, const char *value)
{
    return dictionaryPut(ch, key, value, Put::Update);
}

TindrelReturnCode TindrelDictionary_set(TindrelDictionaryHandle ch, const char *key, const char *value)
{
    return dictionaryPut(ch, key, value, Put::Set);
}

TindrelReturnCode TindrelDictionary_remove(TindrelDictionaryHandle ch, const char *key)
{
    if (TindrelReturnCode rc = checkKey(key))
        return rc;
    return call(ch, TINDREL_CHCLASS_DICTIONARY, [&](Channel &c, Raised &raised) -> TindrelReturnCode {
        auto &e = dictionary(c).entries;
        if (!e.erase(key))
            return fail(TINDREL_ENOENT, "No key \"%s\" in the dictionary", key);
        EventArgs a;
        a.s[0] = key;
        raised.emplace_back(c.info->cls->event("Remove"), std::move(a));
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelDictionary_removeAll(TindrelDictionaryHandle ch)
{
    return call(ch, TINDREL_CHCLASS_DICTIONARY, [&](Channel &c, Raised &raised) -> TindrelReturnCode {
        auto &e = dictionary(c).entries;
        for (auto &[k, v] : e) {
            EventArgs a;
            a.s[0] = k;
            raised.emplace_back(c.info->cls->event("Remove"), std::move(a));
        }
        e.clear();
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelDictionary_get(TindrelDictionaryHandle ch, const char *key, char *value, size_t valueLen)
{
    if (TindrelReturnCode rc = checkKey(key))
        return rc;
    return readCall(ch, TINDREL_CHCLASS_DICTIONARY, [&](Channel &c, Raised &) -> TindrelReturnCode {
        auto &e = dictionary(c).entries;
        auto it = e.find(key);
        if (it == e.end())
            return fail(TINDREL_ENOENT, "No key \"%s\" in the dictionary", key);
        return copyOut(it->second, value, valueLen, "Value");
    });
}

TindrelReturnCode TindrelDictionary_scan(TindrelDictionaryHandle ch, const char *start, char *keyList,
                                         size_t keyListLen)
{
    if (!keyList || keyListLen == 0)
        return fail(TINDREL_EFAULT, "Key list buffer is NULL or empty");
    return call(ch, TINDREL_CHCLASS_DICTIONARY, [&](Channel &c, Raised &) -> TindrelReturnCode {
        auto &e = dictionary(c).entries;
        auto it = start ? e.upper_bound(start) : e.begin();
        std::string out;
        for (; it != e.end(); ++it) {
            if (out.size() + it->first.size() + 2 > keyListLen)
                break;
            out += it->first + "\n";
        }
        if (out.empty() && it != e.end())
            return fail(TINDREL_ENOSPC, "Key \"%s\" does not fit in %zu bytes", it->first.c_str(), keyListLen);
        std::memcpy(keyList, out.c_str(), out.size() + 1);
        return TINDREL_OK;
    });
}

// ---------------------------------------------------------------- another client of a dictionary

TindrelReturnCode TindrelSim_setDictionaryKey(const char *deviceId, int channelIndex, const char *key,
                                              const char *value)
{
    if (TindrelReturnCode rc = checkKey(key))
        return rc;
    if (TindrelReturnCode rc = checkValue(value))
        return rc;
    return otherClient(deviceId, channelIndex, [&](Channel &c, auto &entries, Raised &raised) {
        const bool exists = entries.count(key) > 0;
        entries[key] = value;
        EventArgs a;
        a.s[0] = key;
        a.s[1] = value;
        raised.emplace_back(c.info->cls->event(exists ? "Update" : "Add"), std::move(a));
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelSim_removeDictionaryKey(const char *deviceId, int channelIndex, const char *key)
{
    if (TindrelReturnCode rc = checkKey(key))
        return rc;
    return otherClient(deviceId, channelIndex, [&](Channel &c, auto &entries, Raised &raised) -> TindrelReturnCode {
        if (!entries.erase(key))
            return fail(TINDREL_ENOENT, "No key \"%s\" in the dictionary", key);
        EventArgs a;
        a.s[0] = key;
        raised.emplace_back(c.info->cls->event("Remove"), std::move(a));
        return TINDREL_OK;
    });
}

// ---------------------------------------------------------------- firmware upgrade

namespace {

// A loader learns its device's identity a moment after it attaches; one
// whose device never identifies keeps asking to be asked later.
TindrelReturnCode loaderIdentity(Channel &c)
{
    if (!c.info->device->identifies || sessionTime(c) < kIdentifyAfter)
        return fail(TINDREL_EUNKNOWNVAL, "The loader has not identified its device yet; ask again later");
    return TINDREL_OK;
}

// The device an image is written to must be the one the image is for.
TindrelReturnCode checkImage(const DeviceInfo &d, const uint8_t *data, size_t length, tindrel_fwimage::Image &img)
{
    tindrel_fwimage::Problem problem = tindrel_fwimage::Problem::None;
    auto decoded = tindrel_fwimage::decode(data, length, &problem);
    if (!decoded)
        return fail(TINDREL_EINVALIDPACKET, "The firmware image is damaged: %s", tindrel_fwimage::describe(problem));
    img = std::move(*decoded);
    const uint32_t ownId = d.deviceClass == TINDREL_DEVCLASS_XLNK ? d.xlnkId : 0;
    if (img.family != d.fwString || img.xlnkId != ownId)
        return fail(TINDREL_EWRONGDEVICE,
                    "The firmware image is for %s (device identifier %u), not for %s (%s, device identifier %u)",
                    img.family.c_str(), img.xlnkId, d.name.c_str(), d.fwString.c_str(), ownId);
    return TINDREL_OK;
}

// Marks a transfer under way on a device for as long as it lives.
struct TransferMark {
    Engine &e;
    const DeviceInfo *d;
    TransferMark(Engine &engine, const DeviceInfo *device)
        : e(engine)
        , d(device)
    {
        ++e.transferring[d];
    }
    ~TransferMark()   // engine lock held
    {
        if (--e.transferring[d] <= 0)
            e.transferring.erase(d);
    }
};

}   // namespace

TindrelReturnCode TindrelFirmwareUpgrade_getActualDeviceXLNKID(TindrelFirmwareUpgradeHandle ch, uint32_t *xlnkId)
{
    if (!xlnkId)
        return fail(TINDREL_EFAULT, "Result pointer is NULL");
    return readCall(ch, TINDREL_CHCLASS_FIRMWAREUPGRADE, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (TindrelReturnCode rc = loaderIdentity(c))
            return rc;
        *xlnkId = c.info->device->xlnkId;
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelFirmwareUpgrade_getActualDeviceSKU(TindrelFirmwareUpgradeHandle ch, const char **sku)
{
    if (!sku)
        return fail(TINDREL_EFAULT, "Result pointer is NULL");
    *sku = "";
    return readCall(ch, TINDREL_CHCLASS_FIRMWAREUPGRADE, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (TindrelReturnCode rc = loaderIdentity(c))
            return rc;
        *sku = c.info->device->fwString.c_str();
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelFirmwareUpgrade_getActualDeviceVersion(TindrelFirmwareUpgradeHandle ch, int *version)
{
    if (!version)
        return fail(TINDREL_EFAULT, "Result pointer is NULL");
    return readCall(ch, TINDREL_CHCLASS_FIRMWAREUPGRADE, [&](Channel &c, Raised &) -> TindrelReturnCode {
        if (TindrelReturnCode rc = loaderIdentity(c))
            return rc;
        *version = engine().versionOf(*c.info->device);
        return TINDREL_OK;
    });
}

// Checks the image, then writes it in steps paced like a real transfer,
// reporting progress after each; a device that goes away, or a fault planned
// with TindrelSim_setUpgradeFault, ends the transfer half-way. A complete
// transfer leaves the new version on the device (or on the device it comes
// back as), seen once it restarts.
TindrelReturnCode TindrelFirmwareUpgrade_sendFirmware(TindrelFirmwareUpgradeHandle ch, const uint8_t *data,
                                                      size_t length)
{
    if (!data)
        return fail(TINDREL_EFAULT, "Firmware data is NULL");
    if (length == 0 || length > kMaxImage)
        return fail(TINDREL_EINVALIDARG, "A firmware image of %zu bytes is not valid (1 - %zu bytes)", length,
                    kMaxImage);
    _Tindrel *h = reinterpret_cast<_Tindrel *>(ch);
    if (!h)
        return fail(TINDREL_EFAULT, "Handle is NULL");
    Engine &e = engine();
    std::unique_lock<std::mutex> lk(e.m);
    ChannelPtr channel;
    tindrel_fwimage::Image img;
    {
        lk.unlock();
        TindrelReturnCode rc =
            call(ch, TINDREL_CHCLASS_FIRMWAREUPGRADE, [&](Channel &c, Raised &) -> TindrelReturnCode {
                if (TindrelReturnCode r = checkImage(*c.info->device, data, length, img))
                    return r;
                channel = h->ch;
                return TINDREL_OK;
            });
        lk.lock();
        if (rc != TINDREL_OK)
            return rc;
    }
    const std::shared_ptr<const DeviceInfo> dev = channel->info->device;
    TransferMark mark(e, dev.get());
    Engine::UpgradeFault fault;
    if (auto f = e.upgradeFaults.find(dev.get()); f != e.upgradeFaults.end()) {
        fault = f->second;
        if (--f->second.count <= 0)
            e.upgradeFaults.erase(f);
    }
    const int progressEvent = channel->info->cls->event("ProgressChange");
    const double seconds = std::clamp(static_cast<double>(length) / kBytesPerSecond, kMinTransfer, kMaxTransfer);
    const auto step =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(seconds / kTransferSteps));
    logLine(TINDREL_LOG_INFO, "firmware %s version %u (%zu bytes) being written to %s (serial %d)", img.family.c_str(),
            img.version, length, dev->name.c_str(), dev->serial);
    for (int i = 0; i <= kTransferSteps; ++i) {
        if (h->ch != channel || !channel->present)
            return fail(TINDREL_EIO, "The device went away while its firmware was written (%d%% done)",
                        100 * i / kTransferSteps);
        if (i == kTransferSteps / 2 && fault.kind == TINDRELSIM_UPGRADE_FAIL)
            return fail(TINDREL_EIO, "The device stopped answering while its firmware was written (%d%% done)",
                        100 * i / kTransferSteps);
        if (i == kTransferSteps / 2 && fault.kind == TINDRELSIM_UPGRADE_UNPLUG) {
            logLine(TINDREL_LOG_INFO, "%s unplugged during its upgrade", dev->name.c_str());
            e.devOn[dev.get()] = false;
            e.loaderMode[dev.get()] = false;
            e.refresh();
            continue;   // the check above ends the transfer
        }
        EventArgs a;
        a.d[0] = static_cast<double>(i) / kTransferSteps;
        e.queueChannelEvent(h, SLOT_FIRST_EVENT + progressEvent, std::move(a));
        if (i < kTransferSteps) {
            lk.unlock();
            std::this_thread::sleep_for(step);
            lk.lock();
        }
    }
    const DeviceInfo *target = dev->afterUpgrade ? dev->afterUpgrade.get() : dev.get();
    e.installedVersion[target] = static_cast<int>(img.version);
    if (dev->afterUpgrade)
        e.pendingSwap[dev.get()] = dev->afterUpgrade;
    logLine(TINDREL_LOG_INFO, "firmware version %u written to %s (serial %d)", img.version, dev->name.c_str(),
            dev->serial);
    return TINDREL_OK;
}

}   // extern "C"

// ---------------------------------------------------------------- read-back of displays (test control)

TindrelReturnCode TindrelSim_getLCDFrame(const char *deviceId, int channelIndex, uint8_t *dots, size_t *len, int *width,
                                         int *height)
{
    return onRigChannel(deviceId, TINDREL_CHCLASS_LCD, channelIndex,
                        [&](Channel &c) { return lcdOut(c, false, dots, len, width, height); });
}

TindrelReturnCode TindrelSim_getLCDFrameOf(TindrelHandle ch, uint8_t *dots, size_t *len, int *width, int *height)
{
    return controlCall(ch, TINDREL_CHCLASS_LCD,
                       [&](Channel &c, Raised &) { return lcdOut(c, false, dots, len, width, height); });
}

TindrelReturnCode TindrelSim_getLCDPicture(const char *deviceId, int channelIndex, uint8_t *levels, size_t *len,
                                           int *width, int *height)
{
    return onRigChannel(deviceId, TINDREL_CHCLASS_LCD, channelIndex,
                        [&](Channel &c) { return lcdOut(c, true, levels, len, width, height); });
}

TindrelReturnCode TindrelSim_getLCDPictureOf(TindrelHandle ch, uint8_t *levels, size_t *len, int *width, int *height)
{
    return controlCall(ch, TINDREL_CHCLASS_LCD,
                       [&](Channel &c, Raised &) { return lcdOut(c, true, levels, len, width, height); });
}

TindrelReturnCode TindrelSim_getLCDText(const char *deviceId, int channelIndex, char *buf, size_t *len)
{
    return onRigChannel(deviceId, TINDREL_CHCLASS_LCD, channelIndex,
                        [&](Channel &c) { return textOut(escapedRows(stateOf<LCDState>(c).shownRows), buf, len); });
}

TindrelReturnCode TindrelSim_getLEDColors(const char *deviceId, int channelIndex, uint8_t *rgbw, size_t *count)
{
    return onRigChannel(deviceId, TINDREL_CHCLASS_LEDARRAY, channelIndex,
                        [&](Channel &c) { return ledsOut(c, rgbw, count); });
}

TindrelReturnCode TindrelSim_getLEDColorsOf(TindrelHandle ch, uint8_t *rgbw, size_t *count)
{
    return controlCall(ch, TINDREL_CHCLASS_LEDARRAY, [&](Channel &c, Raised &) { return ledsOut(c, rgbw, count); });
}

TindrelReturnCode TindrelSim_getIRSignalsSent(const char *deviceId, int channelIndex, uint64_t *count)
{
    if (!count)
        return fail(TINDREL_EFAULT, "Count pointer is NULL");
    return onRigChannel(deviceId, TINDREL_CHCLASS_IR, channelIndex, [&](Channel &c) {
        *count = keptOf<IRSent>(c).signals;
        return TINDREL_OK;
    });
}

TindrelReturnCode TindrelSim_getBusLog(const char *deviceId, char *buf, size_t *len)
{
    return onRigChannel(deviceId, TINDREL_CHCLASS_DATAADAPTER, 0, [&](Channel &c) {
        std::string text;
        for (const auto &line : stateOf<BusState>(c).log)
            text += line + "\n";
        return textOut(text, buf, len);
    });
}
