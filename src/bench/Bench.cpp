#include "bench/Bench.h"

#include "bench/Quantities.h"

#include "board/DriverLibrary.h"
#include "board/BoardStart.h"
#include "device/Encodings.h"
#include "device/RegisterMap.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tq::bench {

namespace {

using device::CoarseGainRegister;
using device::DataRegister;
using device::FineGainRegister;
using device::FunctionRegister;
using device::OffsetRegister;

// Messages are built with QString's arguments: numbers in their shortest form, "." always.
template <class... Args> std::string Say(const char* pattern, const Args&... args) {
    QString text = QString::fromUtf8(pattern);
    ((text = text.arg(args)), ...);
    return text.toStdString();
}

QString Num(double x) {
    return QString::number(x, 'g', 8);
}

QString RangeText(double low, double high, const char* unit) {
    return QStringLiteral("%1 to %2%3").arg(Num(low), Num(high), QString::fromUtf8(unit));
}

// A number that a field accepts: finite and within [low, high].
bool Within(double x, double low, double high) {
    return std::isfinite(x) && x >= low && x <= high;
}

// The bits a register holds; an address that selects no register holds none.
int32_t FieldMask(int16_t registerCode, int16_t address) {
    return device::RegisterFieldMask(registerCode, address).value_or(0);
}

Status CheckFineGain(double lsb) {
    if (!Within(lsb, device::FineGainMin, device::FineGainMax))
        return UsageError(Say("fine gain %1 is outside %2", Num(lsb),
                              RangeText(device::FineGainMin, device::FineGainMax, " LSB")));
    return {};
}

Status CheckOffset(double lsb) {
    if (!Within(lsb, device::OffsetMin, device::OffsetMax))
        return UsageError(Say("offset %1 is outside %2", Num(lsb),
                              RangeText(device::OffsetMin, device::OffsetMax, " LSB")));
    return {};
}

bool KnownRegister(int16_t registerCode) {
    return std::ranges::any_of(device::RegisterItems,
                               [&](const auto& item) { return item.code == registerCode; });
}

QString RegisterName(int16_t registerCode) {
    for (const auto& item : device::RegisterItems)
        if (item.code == registerCode) return QString::fromUtf8(item.text);
    return QStringLiteral("register %1").arg(registerCode);
}

} // namespace

int32_t FunctionFlags::word() const {
    return device::ComposeFunctionBits(localGndOffset, d1Output, d1High, d0Output, d0High,
                                       !sdoEnabled);
}

FunctionFlags FunctionFlags::fromWord(int32_t w) {
    return FunctionFlags{
        .localGndOffset = (w & device::LocalGndOffsetMask) != 0,
        .d1Output = (w & device::D1DirectionMask) != 0,
        .d1High = (w & device::D1LevelMask) != 0,
        .d0Output = (w & device::D0DirectionMask) != 0,
        .d0High = (w & device::D0LevelMask) != 0,
        .sdoEnabled = (w & device::SdoDisableMask) == 0,
    };
}

Outcome<int32_t> RangeCodeFromVolts(double fullScale) {
    for (const auto& range : device::CoarseGainRanges)
        if (std::isfinite(fullScale) && std::abs(fullScale - range.fullScaleVolts) < 1e-4)
            return int32_t{range.code};
    return UsageError(Say("range %1 V is not one of %2", Num(fullScale),
                          QString::fromStdString(RangeChoices(", "))));
}

// ---- Opening ------------------------------------------------------------------------------

Outcome<std::unique_ptr<Bench>> Bench::open(const OpenOptions& options) {
    auto library = std::make_unique<board::DriverLibrary>(options.driverPath);
    QString loadError;
    library->setLoadErrorHandler([&loadError](const board::LoadError& e) {
        if (loadError.isEmpty()) loadError = board::describe(e);
    });
    auto bench = std::make_unique<Bench>(*library, options.model);
    bench->ownedDriver_ = std::move(library);
    Status started = bench->start(options.firmwarePath, options.board);
    if (!loadError.isEmpty()) return Error{Error::Kind::DriverLoad, loadError.toStdString()};
    if (!started) return started.error();
    static_cast<board::DriverLibrary&>(*bench->ownedDriver_).setLoadErrorHandler({});
    return bench;
}

Outcome<std::vector<int>> Bench::listBoards(const QString& driverPath) {
    board::DriverLibrary library(driverPath);
    QString loadError;
    library.setLoadErrorHandler([&loadError](const board::LoadError& e) {
        if (loadError.isEmpty()) loadError = board::describe(e);
    });
    std::array<uint8_t, 128> list{};
    int32_t count = 0;
    const int16_t status = library.Search_For_Boards(
        board::BoardStart::kVendorId, board::BoardStart::kProductId, &count, list.data());
    if (!loadError.isEmpty()) return Error{Error::Kind::DriverLoad, loadError.toStdString()};
    if (status != 0)
        return Error{Error::Kind::NoBoard, Say("searching for boards failed (status %1)", status),
                     -1, status};
    std::vector<int> boards;
    for (int32_t i = 0; i < std::min<int32_t>(count, static_cast<int32_t>(list.size())); ++i)
        boards.push_back(list[static_cast<std::size_t>(i)]);
    return boards;
}

Bench::Bench(board::DriverApi& driver, Model model)
    : ownedState_(std::make_unique<SharedState>()),
      ownedDeclare_(std::make_unique<board::BoardLink>(*ownedState_, driver, BackendOf(model))),
      driver_(&driver), model_(model), state_(ownedState_.get()), declare_(ownedDeclare_.get()) {
    observer_ = declare_->addObserver([this](const board::Transfer& t) {
        if (!t.succeeded() && !failed_) failed_ = t;
    });
}

Bench::Bench(board::BoardLink& declare, board::DriverApi& driver, Model model)
    : driver_(&driver), model_(model), state_(&declare.state()), declare_(&declare) {
    const SharedState& s = *state_;
    lines_ = ControlLines{.ldac = s.LdacLine != 0,
                          .clr = s.ClrLine != 0,
                          .binary = s.BinTwosCompLine != 0,
                          .rstin = s.RstinLine != 0,
                          .driveD0 = s.DriveD0Line != 0,
                          .driveD1 = s.DriveD1Line != 0,
                          .pulseAfterWrite = s.Check1Value != 0};
    function_ = FunctionFlags::fromWord(
        device::ComposeFunctionBits(s.LocalGndOffsetBit, s.D1DirectionBit, s.D1LevelBit,
                                    s.D0DirectionBit, s.D0LevelBit, s.SdoDisableBit));
    observer_ = declare_->addObserver([this](const board::Transfer& t) {
        if (!t.succeeded() && !failed_) failed_ = t;
    });
}

Bench::~Bench() {
    declare_->removeObserver(observer_);
}

Status Bench::start(const QString& firmwarePath, int board) {
    if (board < 0) return UsageError(Say("board %1 does not exist", board));
    state_->FirmwarePath = firmwarePath.toStdString();
    // The file system's own encoding, so that any path the system can open reaches the driver.
    const QByteArray bytes = QFile::encodeName(firmwarePath);
    state_->FirmwarePathBytes.assign(bytes.begin(), bytes.end());
    state_->FirmwarePathBytes.push_back(0);
    if (!board::BoardStart::StartBoard(*state_, *driver_, BackendOf(model_), board)) {
        // The driver's own reason, where it gives one, says more than our guess.
        const std::string reason = driver_->lastErrorText();
        return Error{Error::Kind::NoBoard,
                     reason.empty() ? Say("no board answered, or its firmware %1 could not be "
                                          "started",
                                          firmwarePath)
                                    : Say("the board could not be started: %1",
                                          QString::fromStdString(reason)),
                     -1, state_->DriverStatus};
    }
    return reset();
}

Status Bench::reset() {
    begin();
    lines_ = ControlLines{};
    writeLines();
    const int32_t word = declare_->ReadRegister(device::FunctionControlWord, FunctionRegister);
    // Bits above the control word mean nobody drove the line: serial output was off.
    FunctionFlags flags =
        (word & ~device::FunctionBitsMask) == 0 ? FunctionFlags::fromWord(word) : FunctionFlags{};
    flags.sdoEnabled = true;
    writeFunctionWord(flags.word());
    Status status = finish();
    return status ? refreshRanges() : status;
}

Status Bench::refreshRanges() {
    if (!function_.sdoEnabled)
        return UsageError("serial data output is off: switch it on to read the ranges back");
    begin();
    std::array<int32_t, 4> ranges{};
    for (const Channel c : kChannels)
        ranges[ChannelIndex(c)] =
            declare_->ReadRegister(AddressCode(c), CoarseGainRegister) & device::CoarseGainCodeMask;
    Status status = finish();
    if (status) ranges_ = ranges;
    return status;
}

// ---- Transfers ----------------------------------------------------------------------------

void Bench::begin() {
    failed_.reset();
}

Status Bench::finish() {
    if (!failed_) return {};
    const board::Transfer t = *failed_;
    failed_.reset();
    return Error{
        Error::Kind::Transfer,
        Say("request 0x%1 failed (status %2)", QString::asprintf("%02X", t.request), t.status),
        t.request, t.status};
}

void Bench::writeLines() {
    state_->LdacLine = lines_.ldac;
    state_->ClrLine = lines_.clr;
    state_->BinTwosCompLine = lines_.binary;
    state_->RstinLine = lines_.rstin;
    state_->DriveD0Line = lines_.driveD0;
    state_->DriveD1Line = lines_.driveD1;
    state_->Check1Value = lines_.pulseAfterWrite ? 1 : 0;
    declare_->WriteControlLines();
}

void Bench::writeFunctionWord(int32_t word) {
    function_ = FunctionFlags::fromWord(word);
    SharedState& s = *state_;
    s.FunctionBits = word;
    s.LocalGndOffsetBit = function_.localGndOffset;
    s.D1DirectionBit = function_.d1Output;
    s.D1LevelBit = function_.d1High;
    s.D0DirectionBit = function_.d0Output;
    s.D0LevelBit = function_.d0High;
    s.SdoDisableBit = function_.sdoEnabled ? 0 : 1;
    declare_->WriteRegister(device::FunctionControlWord, FunctionRegister, word);
}

// ---- Channels -----------------------------------------------------------------------------

float Bench::rangeVolts(Channel channel) const {
    return device::RangeFromCoarseCode(rangeCode(channel), 10.0f);
}

int32_t Bench::rangeCode(Channel channel) const {
    return ranges_[channel == Channel::All ? 0 : ChannelIndex(channel)];
}

float Bench::codeToVolts(Channel channel, int32_t code) const {
    return device::DataCodeToVolts(code, rangeVolts(channel), lines_.binary ? 1 : 0);
}

int32_t Bench::voltsToCode(Channel channel, double volts) const {
    return device::VoltsToCode(static_cast<float>(volts), rangeVolts(channel),
                               lines_.binary ? 1 : 0);
}

Status Bench::setCode(Channel channel, int64_t code) {
    if (code < device::DataCodeMin || code > device::DataCodeMax)
        return UsageError(Say("code %1 is outside %2", QString::number(code),
                              RangeText(device::DataCodeMin, device::DataCodeMax, "")));
    begin();
    declare_->WriteRegister(AddressCode(channel), DataRegister, static_cast<int32_t>(code));
    return finish();
}

Status Bench::setVolts(Channel channel, double volts) {
    // Checked against every channel first, so nothing is written when one refuses.
    for (const Channel c : Expand(channel)) {
        const double fs = rangeVolts(c);
        if (!Within(volts, -fs, fs))
            return UsageError(Say("%1 V is outside the range of %2, %3", Num(volts),
                                  QString::fromUtf8(ChannelCaption(c)), RangeText(-fs, fs, " V")));
    }
    const auto codeOf = [&](Channel c) { return voltsToCode(c, volts); };
    begin();
    const auto channels = Expand(channel);
    const bool sameCode = std::ranges::all_of(
        channels, [&](Channel c) { return codeOf(c) == codeOf(channels.front()); });
    if (sameCode)
        declare_->WriteRegister(AddressCode(channel), DataRegister, codeOf(channels.front()));
    else
        for (const Channel c : channels)
            declare_->WriteRegister(AddressCode(c), DataRegister, codeOf(c));
    return finish();
}

Status Bench::setCodesTogether(std::span<const ChannelCode> codes) {
    std::array<bool, 4> seen{};
    for (const ChannelCode& c : codes) {
        if (c.channel == Channel::All || std::exchange(seen[ChannelIndex(c.channel)], true))
            return UsageError("a point names each of DAC A to DAC D at most once");
        if (c.code < device::DataCodeMin || c.code > device::DataCodeMax)
            return UsageError(Say("code %1 is outside %2", c.code,
                                  RangeText(device::DataCodeMin, device::DataCodeMax, "")));
    }
    begin();
    // The pulse choice is the program's own, not a line of the board: no transfer changes it.
    const int16_t pulse = state_->Check1Value;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        state_->Check1Value = i + 1 == codes.size() ? 1 : 0;
        declare_->WriteRegister(AddressCode(codes[i].channel), DataRegister, codes[i].code);
    }
    state_->Check1Value = pulse;
    return finish();
}

Status Bench::setRange(Channel channel, int32_t coarseCode) {
    if (coarseCode < 0 || coarseCode >= static_cast<int32_t>(device::CoarseGainRanges.size()))
        return UsageError(Say("range code %1 is outside 0 to 2", coarseCode));
    begin();
    declare_->WriteRegister(AddressCode(channel), CoarseGainRegister, coarseCode);
    Status status = finish();
    if (status)
        for (const Channel c : Expand(channel))
            ranges_[ChannelIndex(c)] = coarseCode;
    return status;
}

Status Bench::setFineGain(Channel channel, double lsb) {
    if (Status refused = CheckFineGain(lsb); !refused) return refused;
    begin();
    declare_->WriteRegister(AddressCode(channel), FineGainRegister,
                            device::FineGainToCode(static_cast<float>(lsb)));
    return finish();
}

Status Bench::setOffset(Channel channel, double lsb) {
    if (Status refused = CheckOffset(lsb); !refused) return refused;
    begin();
    declare_->WriteRegister(AddressCode(channel), OffsetRegister,
                            device::OffsetToCode(static_cast<float>(lsb)));
    return finish();
}

Status Bench::setTrims(Channel channel, std::optional<double> fineLsb,
                       std::optional<double> offsetLsb) {
    if (fineLsb)
        if (Status refused = CheckFineGain(*fineLsb); !refused) return refused;
    if (offsetLsb)
        if (Status refused = CheckOffset(*offsetLsb); !refused) return refused;
    if (fineLsb)
        if (Status status = setFineGain(channel, *fineLsb); !status) return status;
    if (offsetLsb) return setOffset(channel, *offsetLsb);
    return {};
}

Outcome<int32_t> Bench::readRegister(int16_t registerCode, Channel channel) {
    if (channel == Channel::All)
        return UsageError("a register of ALL DACs has no single value: read A, B, C or D");
    if (registerCode == FunctionRegister || !KnownRegister(registerCode))
        return UsageError(Say("%1 is not a channel register", RegisterName(registerCode)));
    return readRaw(registerCode, AddressCode(channel));
}

Outcome<ChannelRegisters> Bench::readChannel(Channel channel) {
    ChannelRegisters r;
    for (auto [code, field] : {std::pair{DataRegister, &r.data},
                               {CoarseGainRegister, &r.coarse},
                               {FineGainRegister, &r.fine},
                               {OffsetRegister, &r.offset}}) {
        Outcome<int32_t> value = readField(code, channel);
        if (!value) return value.error();
        *field = *value;
    }
    return r;
}

Outcome<int32_t> Bench::readField(int16_t registerCode, Channel channel) {
    Outcome<int32_t> value = readRegister(registerCode, channel);
    if (!value) return value;
    return *value & FieldMask(registerCode, 0);
}

Outcome<float> Bench::readVolts(Channel channel) {
    Outcome<int32_t> code = readField(DataRegister, channel);
    if (!code) return code.error();
    return codeToVolts(channel, *code);
}

Outcome<float> Bench::readFineGain(Channel channel) {
    Outcome<int32_t> code = readField(FineGainRegister, channel);
    if (!code) return code.error();
    return static_cast<float>(device::CodeToFineGain(*code));
}

Outcome<float> Bench::readOffset(Channel channel) {
    Outcome<int32_t> code = readField(OffsetRegister, channel);
    if (!code) return code.error();
    return device::CodeToOffset(*code);
}

bool Bench::boardPresent() {
    return driver_->Board_Attached(state_->BoardHandle) != 0;
}

// ---- Raw access ---------------------------------------------------------------------------

Status Bench::writeRaw(int16_t registerCode, int16_t address, int64_t data) {
    if (!KnownRegister(registerCode))
        return UsageError(Say("register code %1 does not exist", registerCode));
    const int16_t maxAddress = registerCode == FunctionRegister ? 7 : device::AllDacs;
    if (address < 0 || address > maxAddress)
        return UsageError(Say("address %1 is outside 0 to %2", address, maxAddress));
    const int32_t mask = FieldMask(registerCode, address);
    if (data < 0 || data > mask)
        return UsageError(Say("data %1 is outside the %2 field, 0 to %3", QString::number(data),
                              RegisterName(registerCode), mask));
    begin();
    if (registerCode == FunctionRegister && address == device::FunctionControlWord)
        writeFunctionWord(static_cast<int32_t>(data));
    else
        declare_->WriteRegister(address, registerCode, static_cast<int32_t>(data));
    Status status = finish();
    if (status && registerCode == CoarseGainRegister)
        for (const Channel c : Expand(static_cast<Channel>(address)))
            ranges_[ChannelIndex(c)] = static_cast<int32_t>(data);
    return status;
}

Outcome<int32_t> Bench::readRaw(int16_t registerCode, int16_t address) {
    if (!KnownRegister(registerCode))
        return UsageError(Say("register code %1 does not exist", registerCode));
    if (address < 0 || address > 7) return UsageError(Say("address %1 is outside 0 to 7", address));
    if (!function_.sdoEnabled)
        return UsageError("serial data output is off: switch it on to read registers back");
    begin();
    const int32_t value = declare_->ReadRegister(address, registerCode);
    Status status = finish();
    if (!status) return status.error();
    return value;
}

// ---- Lines and function register ----------------------------------------------------------

Status Bench::setLines(const ControlLines& lines) {
    begin();
    lines_ = lines;
    writeLines();
    return finish();
}

Status Bench::setFunction(const FunctionFlags& flags) {
    begin();
    // The board lets go of a pin the converter is to drive, and drives one it reads.
    if (flags.d1Output != function_.d1Output)
        declare_->DriveRequest(board::kDriveD1, flags.d1Output ? 0 : 1);
    if (flags.d0Output != function_.d0Output)
        declare_->DriveRequest(board::kDriveD0, flags.d0Output ? 0 : 1);
    writeFunctionWord(flags.word());
    return finish();
}

Outcome<FunctionFlags> Bench::readFunction() {
    Outcome<int32_t> word = readRaw(FunctionRegister, device::FunctionControlWord);
    if (!word) return word.error();
    if ((*word & ~device::FunctionBitsMask) != 0)
        return Error{Error::Kind::Transfer,
                     Say("the function register answered 0x%1, which is not a control word: "
                         "serial data output may be off",
                         QString::asprintf("%04X", static_cast<unsigned>(*word)))};
    return FunctionFlags::fromWord(*word);
}

Status Bench::clear() {
    begin();
    declare_->WriteRegister(device::FunctionClear, FunctionRegister, 0);
    return finish();
}

Status Bench::load() {
    begin();
    declare_->WriteRegister(device::FunctionLoad, FunctionRegister, 0);
    return finish();
}

Outcome<Temperature> Bench::temperature() {
    if (!Has(model_, Capability::Temperature)) return MissingError(model_, Capability::Temperature);
    begin();
    // The readout shares its pin with the serial data output.
    const FunctionFlags before = function_;
    FunctionFlags measuring = before;
    measuring.sdoEnabled = false;
    writeFunctionWord(measuring.word());
    // The first two conversions may be stale; the third is the reading.
    declare_->ReadAdcWord();
    declare_->ReadAdcWord();
    Temperature t;
    t.reading = declare_->ReadAdcWord();
    t.value = device::TemperatureFromReading(t.reading);
    writeFunctionWord(before.word());
    Status status = finish();
    if (!status) return status.error();
    return t;
}

} // namespace tq::bench
