/* A printer of the model the tool updates, as seen from the port it hangs on: it parses the
 * bytes that arrive and, on a well-formed update record, takes the ID text that the record's
 * length field declares. Freestanding (no allocation, no library) so that the simulated PC, the
 * Wine parallel-port driver and the Linux command's emulated devices all run this one model. */
#ifndef QX_PRINTER_MODEL_H
#define QX_PRINTER_MODEL_H

#ifdef __cplusplus
extern "C" {
#endif

/* The longest ID a printer keeps; a record declaring a longer one is not taken. */
#define QX_PRINTER_ID_MAX 1024
/* ESC F0, command length, 4 fixed bytes, ID length. */
#define QX_PRINTER_HEADER_SIZE 10

/* The ID a printer of the model reports before it is updated. */
extern const char QxPrinterFactoryId[];

/* How a printer reacts to an update record. */
enum QxPrinterKind {
    QX_PRINTER_TAKES = 0,   /* reports the ID text the record declares */
    QX_PRINTER_IGNORES = 1, /* keeps its old ID */
    QX_PRINTER_PADS = 2,    /* reports one byte more than declared */
    QX_PRINTER_PREFIXED = 3 /* once updated, starts its replies with the two length bytes */
};

struct QxPrinter {
    int kind;
    int took; /* a well-formed record has arrived */
    unsigned idLength;
    char id[QX_PRINTER_ID_MAX + 1];
    /* The record being received, possibly over several writes. */
    unsigned char header[QX_PRINTER_HEADER_SIZE];
    unsigned headerCount;
    unsigned textLength; /* the declared ID text's length, once the header is in */
    unsigned textCount;
    char text[QX_PRINTER_ID_MAX + 1];
};

/* A printer of the given kind that reports `length` bytes of `id` (at most QX_PRINTER_ID_MAX). */
void QxPrinterInit(struct QxPrinter* printer, int kind, const char* id, unsigned length);
/* Bytes arriving from the port. Anything that is not an update record is print data. */
void QxPrinterReceive(struct QxPrinter* printer, const void* bytes, unsigned count);
/* The reply to the device ID query, cut at `capacity`; returns the number of bytes stored. */
unsigned QxPrinterReply(const struct QxPrinter* printer, void* reply, unsigned capacity);

#ifdef __cplusplus
}
#endif

#endif
