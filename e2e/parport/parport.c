/* A parallel-port driver with printers behind it, for Wine's driver host. It makes
 * \Device\Parallel0..2 with the links \DosDevices\LPT1..3 as the system's own parallel driver
 * does, and puts behind each port what its service key says: no device, a port with no printer,
 * or a printer of the shared printer model. The printers answer the device ID query (control
 * code 17), take the update record as the simulated PC's printers do, and what each port received
 * and each printer's ID are written to files for the checks (see the README's Windows section).
 *
 * Configuration, values of the service key, read once when the driver starts:
 *   LPT1..LPT3    REG_SZ: "absent" (the default), "empty" (a port with no printer), or a
 *                 printer: "takes", "ignores", "pads" or "prefixed"
 *   LPT1Id..      REG_SZ: the ID that port's printer reports at first (default: the model's)
 *   WriteFails    REG_DWORD: nonzero, every write fails at the device
 *   Aliases       REG_DWORD: bit n-1 set, \DosDevices\OSTRANE_LPTn -> \Device\Parallel(n-1), as
 *                 an earlier run of the tool leaves it
 *   StateDir      REG_SZ: a folder, as an NT path (\??\Z:\...), for LPTn.bin (every byte port n
 *                 received) and LPTn.id (the printer's ID now)
 */
#include <ntddk.h>

#include "printer_model.h"

#define PORT_COUNT 3
/* The device ID query of the 95/98 family's parallel driver. */
#define IOCTL_QUERY_DEVICE_ID 17
/* SetCommTimeouts arrives as the serial class's code for it. */
#define SERIAL_DEVICE_TYPE 0x1B
#define IOCTL_SERIAL_SET_TIMEOUTS CTL_CODE(SERIAL_DEVICE_TYPE, 7, METHOD_BUFFERED, FILE_ANY_ACCESS)
/* What a port keeps of what it received; the checks need the first writes only. */
#define RECEIVED_MAX 4096
#define NAME_MAX 300

enum PortState { PORT_ABSENT, PORT_EMPTY, PORT_PRINTER };

struct SerialTimeouts {
    ULONG readInterval, readMultiplier, readConstant, writeMultiplier, writeConstant;
};

struct Port {
    int number; /* 1..3 */
    int state;
    FILE_OBJECT* owner; /* the open handle the port serves; any other is refused */
    ULONG writeMultiplier, writeConstant;
    ULONG receivedCount;
    unsigned char received[RECEIVED_MAX];
    struct QxPrinter printer;
};

static DEVICE_OBJECT* Devices[PORT_COUNT];
static int LinksMade[PORT_COUNT];
static int AliasesMade[PORT_COUNT];
static int WriteFails;
static WCHAR StateDir[NAME_MAX];
static ULONG StateDirLength; /* in characters */
/* Registry reads land here: the driver has one request thread, and reads only at start. */
static union {
    KEY_VALUE_PARTIAL_INFORMATION info;
    UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + 2 * (QX_PRINTER_ID_MAX + NAME_MAX)];
} ValueBuffer;

static void CopyWide(WCHAR* to, const char* from, ULONG* at) {
    while (*from)
        to[(*at)++] = (WCHAR)(unsigned char)*from++;
}

static void InitName(UNICODE_STRING* name, WCHAR* buffer, const char* prefix, int digit) {
    ULONG n = 0;
    CopyWide(buffer, prefix, &n);
    buffer[n++] = (WCHAR)('0' + digit);
    buffer[n] = 0;
    name->Buffer = buffer;
    name->Length = (USHORT)(n * sizeof(WCHAR));
    name->MaximumLength = (USHORT)((n + 1) * sizeof(WCHAR));
}

/* A value of the service key; returns its data, or NULL when it is missing or of another type. */
static const KEY_VALUE_PARTIAL_INFORMATION* QueryValue(HANDLE key, const char* name, ULONG type) {
    WCHAR wide[32];
    UNICODE_STRING valueName;
    ULONG n = 0, size = 0;
    CopyWide(wide, name, &n);
    wide[n] = 0;
    valueName.Buffer = wide;
    valueName.Length = (USHORT)(n * sizeof(WCHAR));
    valueName.MaximumLength = (USHORT)sizeof wide;
    if (!NT_SUCCESS(ZwQueryValueKey(key, &valueName, KeyValuePartialInformation, &ValueBuffer,
                                    sizeof ValueBuffer, &size)) ||
        ValueBuffer.info.Type != type)
        return NULL;
    return &ValueBuffer.info;
}

/* A REG_SZ value narrowed to bytes (the texts here are ASCII); returns its length or -1. */
static int QueryText(HANDLE key, const char* name, char* out, ULONG capacity) {
    const KEY_VALUE_PARTIAL_INFORMATION* value = QueryValue(key, name, REG_SZ);
    const WCHAR* text;
    ULONG length, i;
    if (!value)
        return -1;
    text = (const WCHAR*)value->Data;
    length = value->DataLength / sizeof(WCHAR);
    while (length > 0 && text[length - 1] == 0)
        --length;
    if (length > capacity)
        length = capacity;
    for (i = 0; i < length; ++i)
        out[i] = (char)text[i];
    return (int)length;
}

static ULONG QueryNumber(HANDLE key, const char* name) {
    const KEY_VALUE_PARTIAL_INFORMATION* value = QueryValue(key, name, REG_DWORD);
    return value && value->DataLength >= sizeof(ULONG) ? *(const ULONG*)value->Data : 0;
}

static int Equal(const char* a, int length, const char* b) {
    int i;
    for (i = 0; i < length; ++i)
        if (b[i] != a[i])
            return 0;
    return b[length] == 0;
}

/* Writes `count` bytes as the file StateDir\LPTn.<suffix>, replacing what was there. */
static void SaveState(int number, const char* suffix, const void* bytes, ULONG count) {
    WCHAR path[NAME_MAX + 16];
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    HANDLE file;
    ULONG n = StateDirLength, i;
    if (StateDirLength == 0)
        return;
    for (i = 0; i < n; ++i)
        path[i] = StateDir[i];
    CopyWide(path, "\\LPT", &n);
    path[n++] = (WCHAR)('0' + number);
    path[n++] = '.';
    CopyWide(path, suffix, &n);
    path[n] = 0;
    name.Buffer = path;
    name.Length = (USHORT)(n * sizeof(WCHAR));
    name.MaximumLength = (USHORT)((n + 1) * sizeof(WCHAR));
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                               NULL);
    if (!NT_SUCCESS(ZwCreateFile(&file, GENERIC_WRITE | SYNCHRONIZE, &attributes, &io, NULL,
                                 FILE_ATTRIBUTE_NORMAL, 0, FILE_OVERWRITE_IF,
                                 FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0)))
        return;
    if (count)
        ZwWriteFile(file, NULL, NULL, NULL, &io, (void*)bytes, count, NULL, NULL);
    ZwClose(file);
}

static void SavePrinterId(struct Port* port) {
    SaveState(port->number, "id", port->printer.id, port->printer.idLength);
}

static NTSTATUS Complete(IRP* irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static struct Port* PortOf(DEVICE_OBJECT* device) {
    return (struct Port*)device->DeviceExtension;
}

/* The open handle a request comes through: Wine's driver host names it in the IRP itself. */
static FILE_OBJECT* FileOf(IRP* irp) {
    FILE_OBJECT* file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    return file ? file : irp->Tail.Overlay.OriginalFileObject;
}

/* Under Wine the handle of a second open is returned before the driver is asked, so a port
 * cannot refuse it; instead only the first open handle is served until it is closed. */
static NTSTATUS NTAPI DispatchCreate(DEVICE_OBJECT* device, IRP* irp) {
    struct Port* port = PortOf(device);
    if (port->owner)
        return Complete(irp, STATUS_SHARING_VIOLATION, 0);
    port->owner = FileOf(irp);
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchClose(DEVICE_OBJECT* device, IRP* irp) {
    struct Port* port = PortOf(device);
    if (port->owner == FileOf(irp))
        port->owner = NULL;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static int IsOwner(struct Port* port, IRP* irp) {
    return port->owner != NULL && port->owner == FileOf(irp);
}

/* Where the caller's data or reply space is, whichever way the I/O manager passed it. */
static void* IrpBuffer(IRP* irp, int buffered) {
    if (buffered && irp->AssociatedIrp.SystemBuffer)
        return irp->AssociatedIrp.SystemBuffer;
    if (irp->MdlAddress)
        return MmGetMdlVirtualAddress(irp->MdlAddress);
    return irp->UserBuffer;
}

static NTSTATUS NTAPI DispatchWrite(DEVICE_OBJECT* device, IRP* irp) {
    struct Port* port = PortOf(device);
    const ULONG length = IoGetCurrentIrpStackLocation(irp)->Parameters.Write.Length;
    const unsigned char* bytes = (const unsigned char*)IrpBuffer(irp, 1);
    ULONG i;
    if (!IsOwner(port, irp))
        return Complete(irp, STATUS_SHARING_VIOLATION, 0);
    if (WriteFails)
        return Complete(irp, STATUS_IO_DEVICE_ERROR, 0);
    if (port->state != PORT_PRINTER) {
        /* Nobody takes the bytes: the write ends when its total time-out runs out. */
        LARGE_INTEGER wait;
        wait.QuadPart = -10000LL * ((LONGLONG)port->writeConstant +
                                    (LONGLONG)port->writeMultiplier * (LONGLONG)length);
        if (wait.QuadPart < 0)
            KeDelayExecutionThread(KernelMode, FALSE, &wait);
        return Complete(irp, STATUS_TIMEOUT, 0);
    }
    if (length && !bytes)
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    for (i = 0; i < length && port->receivedCount < RECEIVED_MAX; ++i)
        port->received[port->receivedCount++] = bytes[i];
    QxPrinterReceive(&port->printer, bytes, length);
    SaveState(port->number, "bin", port->received, port->receivedCount);
    SavePrinterId(port);
    return Complete(irp, STATUS_SUCCESS, length);
}

static NTSTATUS NTAPI DispatchControl(DEVICE_OBJECT* device, IRP* irp) {
    struct Port* port = PortOf(device);
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    if (!IsOwner(port, irp))
        return Complete(irp, STATUS_SHARING_VIOLATION, 0);
    if (code == IOCTL_QUERY_DEVICE_ID) {
        void* reply = IrpBuffer(irp, 0);
        const ULONG capacity = stack->Parameters.DeviceIoControl.OutputBufferLength;
        if (port->state != PORT_PRINTER)
            return Complete(irp, STATUS_DEVICE_NOT_READY, 0);
        if (capacity && !reply)
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        return Complete(irp, STATUS_SUCCESS, QxPrinterReply(&port->printer, reply, capacity));
    }
    if (code == IOCTL_SERIAL_SET_TIMEOUTS) {
        const struct SerialTimeouts* timeouts =
            (const struct SerialTimeouts*)irp->AssociatedIrp.SystemBuffer;
        if (!timeouts ||
            stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(struct SerialTimeouts))
            return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        port->writeMultiplier = timeouts->writeMultiplier;
        port->writeConstant = timeouts->writeConstant;
        return Complete(irp, STATUS_SUCCESS, 0);
    }
    /* The rest of the serial class's settings mean nothing to a parallel port. */
    if (DEVICE_TYPE_FROM_CTL_CODE(code) == SERIAL_DEVICE_TYPE)
        return Complete(irp, STATUS_SUCCESS, 0);
    return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

/* Asked what kind of device a handle is on (GetFileType): a parallel port, a character device. */
static NTSTATUS NTAPI DispatchVolume(DEVICE_OBJECT* device, IRP* irp) {
    IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
    FILE_FS_DEVICE_INFORMATION* info = (FILE_FS_DEVICE_INFORMATION*)IrpBuffer(irp, 1);
    (void)device;
    if (stack->Parameters.QueryVolume.FsInformationClass != FileFsDeviceInformation)
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    if (!info || stack->Parameters.QueryVolume.Length < sizeof *info)
        return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
    info->DeviceType = FILE_DEVICE_PARALLEL_PORT;
    info->Characteristics = 0;
    return Complete(irp, STATUS_SUCCESS, sizeof *info);
}

static NTSTATUS NTAPI DispatchOther(DEVICE_OBJECT* device, IRP* irp) {
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static void RemoveLink(const char* prefix, int digit) {
    WCHAR buffer[40];
    UNICODE_STRING name;
    InitName(&name, buffer, prefix, digit);
    IoDeleteSymbolicLink(&name);
}

static void NTAPI DriverUnload(DRIVER_OBJECT* driver) {
    int i;
    (void)driver;
    for (i = 0; i < PORT_COUNT; ++i) {
        if (AliasesMade[i])
            RemoveLink("\\DosDevices\\OSTRANE_LPT", i + 1);
        if (LinksMade[i])
            RemoveLink("\\DosDevices\\LPT", i + 1);
        if (Devices[i])
            IoDeleteDevice(Devices[i]);
        AliasesMade[i] = LinksMade[i] = 0;
        Devices[i] = NULL;
    }
}

static int ParseState(const char* text, int length, int* kind) {
    static const struct {
        const char* name;
        int state, kind;
    } states[] = {
        {"absent", PORT_ABSENT, 0},
        {"empty", PORT_EMPTY, 0},
        {"takes", PORT_PRINTER, QX_PRINTER_TAKES},
        {"ignores", PORT_PRINTER, QX_PRINTER_IGNORES},
        {"pads", PORT_PRINTER, QX_PRINTER_PADS},
        {"prefixed", PORT_PRINTER, QX_PRINTER_PREFIXED},
    };
    unsigned i;
    for (i = 0; i < sizeof states / sizeof states[0]; ++i)
        if (Equal(text, length, states[i].name)) {
            *kind = states[i].kind;
            return states[i].state;
        }
    return -1;
}

static NTSTATUS MakePort(DRIVER_OBJECT* driver, HANDLE key, int index) {
    static char text[QX_PRINTER_ID_MAX];
    char valueName[8] = "LPTnId";
    WCHAR deviceBuffer[40], linkBuffer[40];
    UNICODE_STRING deviceName, linkName;
    struct Port* port;
    int length, kind = QX_PRINTER_TAKES, state = PORT_ABSENT;
    NTSTATUS status;

    valueName[3] = (char)('1' + index);
    valueName[4] = 0;
    length = QueryText(key, valueName, text, sizeof text);
    if (length >= 0 && (state = ParseState(text, length, &kind)) < 0)
        return STATUS_INVALID_PARAMETER;
    if (state == PORT_ABSENT)
        return STATUS_SUCCESS;

    InitName(&deviceName, deviceBuffer, "\\Device\\Parallel", index);
    status = IoCreateDevice(driver, sizeof(struct Port), &deviceName, FILE_DEVICE_PARALLEL_PORT, 0,
                            FALSE, &Devices[index]);
    if (!NT_SUCCESS(status))
        return status;
    Devices[index]->Flags |= DO_BUFFERED_IO;
    port = PortOf(Devices[index]);
    port->number = index + 1;
    port->state = state;
    port->owner = NULL;
    port->writeMultiplier = port->writeConstant = 0;
    port->receivedCount = 0;
    if (state == PORT_PRINTER) {
        valueName[4] = 'I';
        valueName[5] = 'd';
        valueName[6] = 0;
        length = QueryText(key, valueName, text, sizeof text);
        if (length >= 0)
            QxPrinterInit(&port->printer, kind, text, (unsigned)length);
        else {
            for (length = 0; QxPrinterFactoryId[length]; ++length)
                ;
            QxPrinterInit(&port->printer, kind, QxPrinterFactoryId, (unsigned)length);
        }
        SavePrinterId(port);
    }
    Devices[index]->Flags &= ~DO_DEVICE_INITIALIZING;

    InitName(&linkName, linkBuffer, "\\DosDevices\\LPT", index + 1);
    status = IoCreateSymbolicLink(&linkName, &deviceName);
    if (!NT_SUCCESS(status))
        return status;
    LinksMade[index] = 1;
    return STATUS_SUCCESS;
}

/* An alias OSTRANE_LPTn as an earlier run leaves it: it stands whether or not the port exists. */
static NTSTATUS MakeAlias(int index) {
    WCHAR deviceBuffer[40], linkBuffer[40];
    UNICODE_STRING deviceName, linkName;
    NTSTATUS status;
    InitName(&deviceName, deviceBuffer, "\\Device\\Parallel", index);
    InitName(&linkName, linkBuffer, "\\DosDevices\\OSTRANE_LPT", index + 1);
    status = IoCreateSymbolicLink(&linkName, &deviceName);
    if (NT_SUCCESS(status))
        AliasesMade[index] = 1;
    return status;
}

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath) {
    OBJECT_ATTRIBUTES attributes;
    HANDLE key;
    ULONG aliases;
    NTSTATUS status = STATUS_SUCCESS;
    int i, length;
    static char dir[NAME_MAX];

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOther;
    driver->MajorFunction[IRP_MJ_FLUSH_BUFFERS] = DispatchOther;
    driver->MajorFunction[IRP_MJ_WRITE] = DispatchWrite;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->MajorFunction[IRP_MJ_QUERY_VOLUME_INFORMATION] = DispatchVolume;
    driver->DriverUnload = DriverUnload;

    InitializeObjectAttributes(&attributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               NULL, NULL);
    status = ZwOpenKey(&key, KEY_READ, &attributes);
    if (!NT_SUCCESS(status))
        return status;
    WriteFails = QueryNumber(key, "WriteFails") != 0;
    aliases = QueryNumber(key, "Aliases");
    length = QueryText(key, "StateDir", dir, sizeof dir);
    StateDirLength = 0;
    for (i = 0; i < length; ++i)
        StateDir[StateDirLength++] = (WCHAR)(unsigned char)dir[i];
    for (i = 0; i < PORT_COUNT && NT_SUCCESS(status); ++i)
        status = MakePort(driver, key, i);
    for (i = 0; i < PORT_COUNT && NT_SUCCESS(status); ++i)
        if (aliases & (1u << i))
            status = MakeAlias(i);
    ZwClose(key);
    if (!NT_SUCCESS(status))
        DriverUnload(driver);
    return status;
}
