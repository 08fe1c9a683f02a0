// SerialPort on Windows: a plain (not overlapped) handle, opened exclusively. A wait is one ReadFile
// of a single byte with the timeouts 0/0/wait, then ClearCommError tells how much more is queued.
// This is the pattern that works everywhere, wine's serial emulation included, which has neither
// overlapped reads nor WaitCommEvent on a serial line.
#include "serial/SerialPort.h"

#include "serial/DeviceChecks.h"

#include <windows.h>

#include <cctype>
#include <chrono>

namespace vantor::serial {

namespace {

const char* const disconnected = "the device was disconnected or the line hung up";
constexpr DWORD writeTimeoutMs = 5000;

OpenResult failure(OpenError error, const std::string& name, const std::string& detail)
{
    return {error, DeviceChecks::cannotOpen(name, detail)};
}

std::string systemMessage(DWORD error)
{
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text ? text : "error " + std::to_string(error);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

// COM10 and above open only through the device namespace; it serves every port.
std::string deviceNamespace(const std::string& devicePath)
{
    return devicePath.compare(0, 4, "\\\\.\\") == 0 ? devicePath : "\\\\.\\" + devicePath;
}

// Windows' own COM ports refuse a second opening, but not every port does: wine shares them, and so do
// some virtual port drivers. Our programs also claim the port by name for as long as they have it
// open, so that two of them (a window and a command, say) never talk over each other on one line.
// False when another of our programs has the port. *claim is the claim to keep while the port is
// open; null (nothing to keep) when the system would not make one.
bool claimPort(const std::string& devicePath, HANDLE* claim)
{
    std::string name = devicePath.compare(0, 4, "\\\\.\\") == 0 ? devicePath.substr(4) : devicePath;
    for (char& c : name)
        c = c == '\\' ? '/' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    *claim = CreateMutexA(nullptr, FALSE, ("Local\\VantorPort-" + name).c_str());
    if (*claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(*claim);
        *claim = nullptr;
        return false;
    }
    return true;
}

bool setTimeouts(HANDLE handle, DWORD interval, DWORD total)
{
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = interval;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = total;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = writeTimeoutMs;
    return SetCommTimeouts(handle, &timeouts) != 0;
}

// Closes what an opening that failed half-way holds: the handle (unless invalid) and the claim (unless
// null).
void release(HANDLE handle, HANDLE claim)
{
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (claim)
        CloseHandle(claim);
}

// Why CreateFile refused the port (error: its GetLastError()).
OpenResult refusal(DWORD error, const std::string& name)
{
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return failure(OpenError::NoSuchDevice, name,
                       "no such device. Check the port name, and that the adapter is plugged in.");
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        return failure(OpenError::Busy, name,
                       "the port is in use by another program. Close it (a terminal program, another "
                       "uploader), or choose another port.");
    return failure(OpenError::Other, name, systemMessage(error) + ".");
}

// Claims the port and opens it for this program alone: *claim and *handle to keep then; otherwise
// why not, and nothing is held.
OpenResult openExclusive(const std::string& devicePath, const std::string& name, HANDLE* claim,
                         HANDLE* handle)
{
    if (!claimPort(devicePath, claim))
        return failure(OpenError::Busy, name,
                       "the port is in use by another Vantor Program Uploader (a window or a vantor "
                       "command). Close it, or choose another port.");
    // No sharing: Windows refuses a second opening of a COM port, by us or anybody else.
    *handle = CreateFileA(deviceNamespace(devicePath).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    if (*handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        release(INVALID_HANDLE_VALUE, *claim);
        return refusal(error, name);
    }
    return {};
}

// The line as settings ask, on what the device had: binary, no flow control of any kind, DTR and RTS
// held as asked.
void describeLine(DCB& dcb, const PortSettings& settings)
{
    dcb.BaudRate = static_cast<DWORD>(settings.baudRate);
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.Parity = settings.parity == 'E' ? EVENPARITY : settings.parity == 'O' ? ODDPARITY : NOPARITY;
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = settings.parity != 'N';
    // The driver puts "?" in place of a character received with a parity error.
    dcb.fErrorChar = settings.parity != 'N';
    dcb.ErrorChar = '?';
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fDtrControl = settings.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = settings.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
}

// Waits up to wait ms for one byte, which goes to bytes; waitSet is the total read timeout in force,
// kept current. False when the line failed; true with nothing added when the wait ran out.
bool readFirst(HANDLE handle, DWORD wait, DWORD& waitSet, std::string& bytes)
{
    // Block for the first byte: interval 0 and total wait return with one byte or after wait.
    if (waitSet != wait && setTimeouts(handle, 0, wait))
        waitSet = wait;
    char first = 0;
    DWORD got = 0;
    if (!ReadFile(handle, &first, 1, &got, nullptr))
        return false;
    if (got > 0)
        bytes.push_back(first);
    return true;
}

// Reads the queued bytes (count of them) at once, adding them to bytes; false when the line failed.
bool readQueued(HANDLE handle, DWORD count, DWORD& waitSet, std::string& bytes)
{
    // Interval MAXDWORD with no total returns without waiting.
    if (waitSet != 0 && setTimeouts(handle, MAXDWORD, 0))
        waitSet = 0;
    std::string queued(count, '\0');
    DWORD got = 0;
    if (!ReadFile(handle, queued.data(), static_cast<DWORD>(queued.size()), &got, nullptr))
        return false;
    bytes.append(queued.data(), got);
    return true;
}

} // namespace

struct SerialPort::Device
{
    HANDLE claim = nullptr; // see claimPort()
    HANDLE handle = INVALID_HANDLE_VALUE;
    DCB original{};
    bool restore = false;
    DWORD waitSet = MAXDWORD - 1; // the total read timeout in force; none yet
};

SerialPort::SerialPort() = default;

SerialPort::~SerialPort()
{
    close();
}

OpenResult SerialPort::openDevice(const std::string& devicePath, const std::string& displayName,
                                  const PortSettings& settings)
{
    std::string name;
    if (auto refused = startOpening(devicePath, displayName, &name); !refused.ok())
        return refused;

    HANDLE claim = nullptr;
    HANDLE handle = INVALID_HANDLE_VALUE;
    if (const OpenResult opened = openExclusive(devicePath, name, &claim, &handle); !opened.ok())
        return opened;
    auto device = std::make_unique<Device>();
    device->claim = claim;
    device->handle = handle;
    device->original.DCBlength = sizeof(DCB);
    if (!GetCommState(handle, &device->original)) {
        release(handle, claim);
        return failure(OpenError::NotSerialDevice, name, "this is not a serial device.");
    }
    device->restore = true;
    SetupComm(handle, 4096, 4096);

    DCB dcb = device->original;
    describeLine(dcb, settings);
    if (!SetCommState(handle, &dcb)) {
        const DWORD error = GetLastError();
        release(handle, claim);
        return failure(OpenError::SettingsRejected, name,
                       "the device does not accept " + settings.settingsText() + " (" + systemMessage(error) +
                           ").");
    }
    setTimeouts(handle, MAXDWORD, 0);
    // Bytes the driver took in before this opening (a PLC's late answer to an earlier run) would be
    // read as the first answer of this one.
    PurgeComm(handle, PURGE_RXCLEAR);
    device->waitSet = 0;
    device_ = std::move(device);
    return {};
}

void SerialPort::close()
{
    if (!device_)
        return;
    if (device_->restore)
        SetCommState(device_->handle, &device_->original);
    CloseHandle(device_->handle);
    if (device_->claim)
        CloseHandle(device_->claim);
    device_.reset();
}

bool SerialPort::write(const std::string& bytes)
{
    if (!device_)
        return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        if (!WriteFile(device_->handle, bytes.data() + done, static_cast<DWORD>(bytes.size() - done),
                       &written, nullptr)) {
            lose(disconnected);
            return false;
        }
        if (written == 0) {
            lose("the data could not be sent within 5 s");
            return false;
        }
        done += written;
    }
    return true;
}

PortRead SerialPort::read(int waitMs)
{
    PortRead result;
    if (!device_) {
        result.lost = true;
        return result;
    }
    const HANDLE handle = device_->handle;
    DWORD errors = 0;
    COMSTAT status{};
    bool ok = ClearCommError(handle, &errors, &status) != 0;
    if (ok && status.cbInQue == 0 && waitMs > 0) {
        ok = readFirst(handle, static_cast<DWORD>(waitMs), device_->waitSet, result.bytes);
        if (ok && result.bytes.empty())
            return result; // the wait ran out
        ok = ok && ClearCommError(handle, &errors, &status) != 0;
    }
    if (ok && status.cbInQue > 0)
        ok = readQueued(handle, status.cbInQue, device_->waitSet, result.bytes);
    if (!ok) {
        lose(disconnected);
        result.lost = true;
    }
    return result;
}

Result<> SerialPort::changeModemLine(ModemLine line, bool on)
{
    const DWORD function = line == ModemLine::Dtr ? (on ? SETDTR : CLRDTR) : (on ? SETRTS : CLRRTS);
    if (EscapeCommFunction(device_->handle, function))
        return {};
    return controlFailed(std::string("set ") + lineName(line), static_cast<int>(GetLastError()));
}

Result<> SerialPort::holdBreak(int ms)
{
    if (!SetCommBreak(device_->handle))
        return controlFailed("send a break", static_cast<int>(GetLastError()));
    Sleep(static_cast<DWORD>(ms));
    if (!ClearCommBreak(device_->handle))
        return controlFailed("end the break", static_cast<int>(GetLastError()));
    return {};
}

Result<> SerialPort::controlFailed(const std::string& what, int error)
{
    const DWORD code = static_cast<DWORD>(error);
    if (code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED)
        return failed("this port's driver has no such control: cannot " + what + ".");
    if (code == ERROR_BAD_COMMAND || code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_OPERATION_ABORTED ||
        code == ERROR_GEN_FAILURE) {
        lose(disconnected);
        return failed("cannot " + what + ": " + disconnected + ".");
    }
    return failed("cannot " + what + ": " + systemMessage(code) + ".");
}

bool SerialPort::canSetBaudRate(int rate)
{
    return rate > 0; // DCB.BaudRate is the rate itself; the driver says at opening what it takes
}

std::string SerialPort::settableBaudRates()
{
    return "any whole number of bits per second the port's driver supports, such as 9600 or 14400";
}

std::optional<PortSettings> SerialPort::appliedSettings() const
{
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!device_ || !GetCommState(device_->handle, &dcb))
        return std::nullopt;
    PortSettings applied;
    applied.baudRate = static_cast<int>(dcb.BaudRate);
    applied.dataBits = dcb.ByteSize;
    applied.parity = dcb.Parity == EVENPARITY  ? 'E'
                     : dcb.Parity == ODDPARITY ? 'O'
                     : dcb.Parity == NOPARITY  ? 'N'
                                               : '?';
    applied.stopBits = dcb.StopBits == TWOSTOPBITS ? 2 : 1;
    return applied;
}

} // namespace vantor::serial
