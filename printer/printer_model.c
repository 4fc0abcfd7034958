/* The printer model's record parser; see printer_model.h. */
#include "printer_model.h"

const char QxPrinterFactoryId[] =
    "MFG:Ostrane;CMD:DUSKFERNCMDS;MODEL:Velmor-2600;CLASS:PRINTER;DES:Velmor-2600;";

static unsigned Length16(const unsigned char* at) {
    return ((unsigned)at[0] << 8) | at[1];
}

static void StartRecord(struct QxPrinter* printer) {
    printer->headerCount = 0;
    printer->textLength = 0;
    printer->textCount = 0;
}

void QxPrinterInit(struct QxPrinter* printer, int kind, const char* id, unsigned length) {
    unsigned i;
    if (length > QX_PRINTER_ID_MAX)
        length = QX_PRINTER_ID_MAX;
    printer->kind = kind;
    printer->took = 0;
    for (i = 0; i < length; ++i)
        printer->id[i] = id[i];
    printer->id[length] = 0;
    printer->idLength = length;
    StartRecord(printer);
}

static int IsRecordHeader(const unsigned char* h) {
    const unsigned declared = Length16(h + 8);
    return h[0] == 0x1B && h[1] == 0xF0 && h[4] == 0 && h[5] == 0 && h[6] == 0 && h[7] == 0x65 &&
           Length16(h + 2) == declared && declared >= 2 && declared - 2 <= QX_PRINTER_ID_MAX;
}

void QxPrinterReceive(struct QxPrinter* printer, const void* bytes, unsigned count) {
    const unsigned char* in = (const unsigned char*)bytes;
    unsigned i = 0;
    while (i < count) {
        if (printer->headerCount < QX_PRINTER_HEADER_SIZE) {
            printer->header[printer->headerCount++] = in[i++];
            if (printer->headerCount < QX_PRINTER_HEADER_SIZE)
                continue;
            if (!IsRecordHeader(printer->header)) {
                /* Print data: the rest of this write is not looked at either. */
                StartRecord(printer);
                return;
            }
            printer->textLength = Length16(printer->header + 8) - 2;
        }
        while (i < count && printer->textCount < printer->textLength)
            printer->text[printer->textCount++] = (char)in[i++];
        if (printer->textCount < printer->textLength)
            return; /* wait for the rest */
        {
            unsigned length = printer->textLength;
            unsigned k;
            if (printer->kind == QX_PRINTER_PADS)
                printer->text[length++] = i < count ? (char)in[i] : ' ';
            if (printer->kind != QX_PRINTER_IGNORES) {
                if (length > QX_PRINTER_ID_MAX)
                    length = QX_PRINTER_ID_MAX;
                for (k = 0; k < length; ++k)
                    printer->id[k] = printer->text[k];
                printer->id[length] = 0;
                printer->idLength = length;
            }
        }
        printer->took = 1;
        /* Whatever follows the record in the same write is dropped. */
        StartRecord(printer);
        return;
    }
}

unsigned QxPrinterReply(const struct QxPrinter* printer, void* reply, unsigned capacity) {
    unsigned char* out = (unsigned char*)reply;
    unsigned n = 0;
    unsigned i;
    if (printer->kind == QX_PRINTER_PREFIXED && printer->took) {
        const unsigned length = printer->idLength + 2;
        if (n < capacity)
            out[n++] = (unsigned char)((length >> 8) & 0xFF);
        if (n < capacity)
            out[n++] = (unsigned char)(length & 0xFF);
    }
    for (i = 0; i < printer->idLength && n < capacity; ++i)
        out[n++] = (unsigned char)printer->id[i];
    return n;
}
