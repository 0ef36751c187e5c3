/*
 * The gauge interface between a host and a gauge module: every record a
 * module exports or points at, the callback types the records hold, and the
 * table of host services. C-compatible so that a host written in any
 * language, and the module validator, read the same layout.
 *
 * Ownership, in one place:
 *  - All records are static, initialised data of the module and live as long
 *    as the module is loaded. Nothing in them is allocated or freed.
 *  - The host owns the fields marked "host"; the module initialises them to
 *    zero and never reads them.
 *  - At run time the module writes only: a ModuleVar's value (through
 *    readVariable, or directly where a gauge derives its own reading), the
 *    HiddenFlag bit of an element's imageFlags, and a StringElement's text.
 *  - Every callback is called by the host on its one panel thread, one call
 *    at a time. A null callback or routine means "not provided".
 */
#ifndef GAUGE_ABI_H
#define GAUGE_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Calling convention of every function that crosses the host boundary. The
 * 32-bit Windows modules use stdcall; everywhere else the platform default. */
#if defined(_WIN32) && !defined(_WIN64)
#define GAUGE_CALL __stdcall
#else
#define GAUGE_CALL
#endif

/* Marks the two records a module exports; everything else stays hidden. */
#if defined(_WIN32)
#define GAUGE_EXPORT __declspec(dllexport)
#else
#define GAUGE_EXPORT __attribute__((visibility("default")))
#endif

typedef struct GaugeHeader GaugeHeader;
typedef struct ElementHeader ElementHeader;
typedef struct ModuleVar ModuleVar;

/* ------------------------------------------------------------------------
 * Numbers shared by host and modules
 * ------------------------------------------------------------------------ */

enum {
    ModuleIdentifier = 0x13,      /* Linkage.moduleId of every module */
    PanelServicesImportId = 0x0F, /* ImportTable entry 0's id */
    GaugeVersion700 = 700,
    GaugeVersion800 = 800
};

/* The element kinds; 5 is not used by any gauge. */
enum ElementKind {
    KindStaticImage = 0,
    KindNeedle = 1,
    KindString = 2,
    KindSlider = 3,
    KindIcon = 4,
    KindSprite = 6
};

/* Service numbers passed to a GaugeCallback that the gauges act on. */
enum GaugeService {
    ServiceFirstUse = 4,
    ServiceFrame = 6,
    ServiceReset = 10,
    ServiceTakeDown = 12
};

/* The imageFlags bit that hides an element; the only bit a module changes. */
#define HiddenFlag 0x40000000u

enum MouseRectKind {
    MouseEnd = 0,
    MouseParent = 1,
    MouseClickArea = 2,
    MouseParentEnd = 3,
    MouseTooltipText = 4
};

/* ------------------------------------------------------------------------
 * Callback types
 * ------------------------------------------------------------------------ */

/* Called at the host's service points with the gauge's own header. The third
 * word is the host's; no gauge reads it. */
typedef void(GAUGE_CALL *GaugeCallback)(GaugeHeader *gauge, int32_t service, uint32_t extra);

/* Called when the host evaluates the element that holds it, after the host
 * has refreshed the element's source variables. The result replaces the
 * source value for that axis. */
typedef double(GAUGE_CALL *ValueCallback)(ElementHeader *element);

typedef struct MousePosition {
    int32_t x; /* relative to the top-left corner of the clicked area */
    int32_t y;
} MousePosition;

/* Called when its click area is clicked. The second word is the host's mouse
 * flags of the click; no gauge reads it. */
typedef int32_t(GAUGE_CALL *MouseFunction)(MousePosition *position, uint32_t mouseFlags);

typedef void(GAUGE_CALL *GaugeRoutine)(void);
typedef void(GAUGE_CALL *GaugeRoutineWithArgument)(uint32_t argument);

typedef void(GAUGE_CALL *ModuleHook)(void);

/* ------------------------------------------------------------------------
 * Records
 * ------------------------------------------------------------------------ */

typedef struct Point {
    int32_t x;
    int32_t y;
} Point;

typedef struct Size {
    int32_t width;
    int32_t height;
} Size;

typedef struct Box {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
} Box;

/* One host variable. As an element's source the host refreshes it before it
 * evaluates the element; as a module-level record the gauge refreshes it
 * itself through readVariable. value holds a float64, or, for a variable the
 * host keeps as an integer, an int32 in its first four bytes (read both with
 * the helpers in module_var.h). id 0 binds nothing and leaves value alone. */
struct ModuleVar {
    int32_t id;
    uint32_t hostWords[2]; /* host */
    union {
        double number;
        int32_t integer;
        unsigned char bytes[8];
    } value;
    double previousValue; /* host */
};

/* A point of a needle's scale: where the needle points for value. Tables
 * list their points in ascending value. */
typedef struct NonlinearityPoint {
    int32_t x;
    int32_t y;
    double value;
    double degrees; /* host */
} NonlinearityPoint;

/* A failure that affects an element; a list ends with key 0. */
typedef struct FailureRecord {
    int32_t key;
    int32_t action;
    int32_t reserved; /* always 0 */
} FailureRecord;

/* One entry of a gauge's mouse list (kinds in MouseRectKind). A click area
 * names either eventId or function, never both. On a MouseTooltipText record
 * the pointer slot holds the tooltip text instead of a function, and data
 * points at a record of two zero words. */
typedef struct MouseRect {
    int32_t kind;
    Box box;             /* relative to the innermost open parent; all zeros on
                            a parent means the whole gauge */
    int32_t cursor;      /* host cursor over a click area; -1 elsewhere */
    int32_t helpId;      /* host tooltip number of a parent; 0 for none */
    uint32_t mouseFlags; /* which mouse actions a click area answers */
    uint32_t eventId;    /* key event the host sends on a click; 0 for none */
    union {
        MouseFunction function;
        const char *tooltipText;
    };
    const void *data;
} MouseRect;

/* The first fields of every element, whatever its kind. */
struct ElementHeader {
    int32_t kind;       /* ElementKind */
    int32_t resourceId; /* bitmap id in the module; -1 for a string */
    Point position;     /* top-left on the gauge; a needle's pivot */
    Point offset;       /* a needle's pivot inside its own bitmap; a sprite's
                           centre of turn on the gauge */
    GaugeHeader *gauge; /* the gauge that owns the element */
    ElementHeader **next;    /* null-terminated list of following elements,
                                or null for the last element */
    FailureRecord *failures; /* ended by key 0, or null */
    uint32_t imageFlags;     /* host drawing bits; HiddenFlag hides */
};

typedef struct StaticImage {
    ElementHeader header;
} StaticImage;

typedef struct Needle {
    ElementHeader header;
    ModuleVar source;
    NonlinearityPoint *nonlinearity; /* null: the value is an angle in
                                        degrees, clockwise from upright */
    int32_t nonlinearityCount;
    int32_t maxRate;    /* greatest turn per frame, applied by the host */
    ValueCallback callback;
} Needle;

typedef struct StringElement {
    ElementHeader header;
    ModuleVar source;
    char *text; /* supplied by the host before it evaluates the element;
                   holds at least maxLength characters and the NUL */
    Size boxSize;
    uint32_t foreground; /* colours are 0x00BBGGRR */
    uint32_t background;
    uint32_t highlight;
    char fontFace[32];
    int32_t fontWeight;
    int32_t charSet;
    uint32_t textFormat;
    int32_t maxLength;
    ValueCallback callback;
} StringElement;

typedef struct Slider {
    ElementHeader header;
    ModuleVar sourceX;
    double scaleX; /* pixels per unit */
    ModuleVar sourceY;
    double scaleY;
    ValueCallback callbackX;
    ValueCallback callbackY;
} Slider;

typedef struct Icon {
    ElementHeader header;
    ModuleVar source;
    int32_t iconMode;
    int32_t iconCount; /* pictures resourceId .. resourceId + iconCount - 1 */
    ValueCallback callback; /* returns the picture index */
} Icon;

typedef struct Sprite {
    ElementHeader header;
    ModuleVar sourceX;
    double scaleX;
    ModuleVar sourceY;
    double scaleY;
    ModuleVar sourceRotation;
    double scaleRotation;
    float textureScaleX;
    float textureScaleY;
    ValueCallback callbackX;
    ValueCallback callbackY;
    ValueCallback callbackRotation;
} Sprite;

struct GaugeHeader {
    int32_t version;
    const char *name;
    ElementHeader **elements; /* entry 0 is the root element */
    GaugeRoutine queryRoutine;
    GaugeRoutineWithArgument installRoutine;
    GaugeRoutine initializeRoutine;
    GaugeRoutine updateRoutine;
    GaugeRoutineWithArgument generateRoutine;
    GaugeRoutine drawRoutine;
    GaugeRoutine killRoutine;
    int32_t sizeMm;
    MouseRect *mouseRects;
    GaugeCallback callback;
};

/* ------------------------------------------------------------------------
 * Host services
 * ------------------------------------------------------------------------ */

typedef void(GAUGE_CALL *ElementService)(ElementHeader *root);
typedef void(GAUGE_CALL *ElementServiceWithArgument)(ElementHeader *root, uint32_t argument);
typedef void(GAUGE_CALL *SendKeyEventService)(uint32_t eventId, uint32_t parameter);
typedef void(GAUGE_CALL *ReadVariableService)(ModuleVar *variable);

/* The host's table of services. Slots keep their index forever and the table
 * only grows at its end; the slots the modules never call are reserved. */
typedef struct PanelServices {
    void *reserved0[24];
    ElementService queryElements;                  /* 24 */
    ElementServiceWithArgument installElements;    /* 25 */
    ElementService initializeElements;             /* 26 */
    ElementService updateElements;                 /* 27 */
    ElementServiceWithArgument generateElements;   /* 28 */
    ElementService drawElements;                   /* 29 */
    void *reserved30;
    ElementService killElements;                   /* 31 */
    void *reserved32[4];
    SendKeyEventService sendKeyEvent;              /* 36 */
    void *reserved37[3];
    ReadVariableService readVariable;              /* 40 */
} PanelServices;

/* ------------------------------------------------------------------------
 * The two exported records
 * ------------------------------------------------------------------------ */

enum { LinkageGaugeCapacity = 16 };

/* The module record. The gauge list ends with a null entry. */
typedef struct ModuleLinkage {
    int32_t moduleId; /* ModuleIdentifier */
    ModuleHook moduleInit;
    ModuleHook moduleDeinit;
    uint32_t reserved[2];
    int32_t moduleVersion; /* 0 or 0x800 */
    GaugeHeader *gauges[LinkageGaugeCapacity];
} ModuleLinkage;

typedef struct ImportEntry {
    int32_t id;
    PanelServices *services; /* written by the host; read afresh at every
                                call, never cached */
} ImportEntry;

/* Entry 0 receives the host's services; entry 1 ends the record. */
typedef struct ModuleImports {
    ImportEntry entries[2];
} ModuleImports;

#ifdef __cplusplus
}
#endif

#endif
