// The message table against the code table: every named code has a message,
// the texts that scripts and other parts of the player rely on are exact,
// and the map never points at a missing row.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "errors/errors.h"

namespace {

struct QuotedMessage {
    int code;
    const char *text;
};

// Messages whose exact wording is part of the player's interface.
const QuotedMessage kQuotedMessages[] = {
    {ERR_MEM, "Out of memory!"},
    {ERR_USERABORT, "User abort!"},
    {ERR_WRITE, "Could not write all characters to file!\nCheck if there is enough free space!"},
    {ERR_READ, "Could not read all characters from file!\nCheck if it is read protected!"},
    {ERR_WINDOW, "Unable to open window!"},
    {ERR_MISSINGPARAMTR, "Not enough arguments!"},
    {ERR_WRONGOP, "Wrong operator for this type!"},
    {ERR_RETWOGOSUB, "Return without Gosub!"},
    {ERR_FINDARRAY, "Requested object not found!"},
    {ERR_READFILE, "Cannot read file %s !"},
    {ERR_WRITEFILE, "Cannot write to file %s !"},
    {ERR_WRONGUSAGE, "Wrong usage/parameters for this command!\nRead the documentation!"},
    {ERR_SELECTBG, "This command cannot be used when SelectBGPic() is active!"},
    {ERR_ARGS, "Wrong arguments specified!"},
    {ERR_INTERNAL, "Internal limit encountered! Contact the author..."},
    {ERR_NOLAYERS, "This function requires enabled layers!"},
    {ERR_LAYERRANGE, "Specified layer is out of range!"},
    {ERR_SELECTBRUSH, "This command cannot be used when SelectBrush() is active!"},
    {ERR_CREATEDIR, "Error creating directory %s !"},
    {ERR_DISPLAYSIZE, "Unable to change display size to %s !"},
    {ERR_UNKNOWN, "Unknown error code!"},
    {ERR_ANIMFRAME, "Specified animation frame is out of range!"},
    {ERR_NUMSTRCMP, "Attempt to compare a number with a string!"},
    {ERR_TABLEDECLA, "Table %s not found!"},
    {ERR_FUNCDECLA, "Function %s not found!"},
    {ERR_INTERNAL1, "Internal limit reached! Error code %s."},
    {ERR_STACK, "Stack overflow!"},
    {ERR_NUMEXPECTED, "Number expected in argument %d!"},
    {ERR_STREXPECTED, "String expected in argument %d!"},
    {ERR_TABEXPECTED, "Table expected in argument %d!"},
    {ERR_READONLY, "File was opened in read-only mode!"},
    {ERR_WRITEONLY, "File was opened in write-only mode!"},
    {ERR_DELETEFILE, "Could not delete file!"},
    {ERR_EXAMINE, "Could not examine %s!"},
    {ERR_RENAME, "Could not rename file!"},
    {ERR_SELECTMASK, "This command cannot be used when SelectMask() is active!"},
    {ERR_MODIFYABR, "Attempt to modify the active brush!"},
    {ERR_LOCKBMAP, "Could not lock bitmap!"},
    {ERR_NEGCOORDS, "Negative coordinates are not allowed here!"},
    {ERR_NOANMLAYER, "Specified layer is not an anim layer!"},
    {ERR_BRUSHSIZE, "Brush size does not match specified arguments!"},
    {ERR_FIELDINIT, "Table field %s was not initialized!"},
    {ERR_NAMEUSED, "Layer name was already assigned!"},
    {ERR_LAYERSOFF, "Layers must be turned off when using this function!"},
    {ERR_LAYERSON, "Layers cannot be turned on/off while off-screen rendering is active!"},
    {ERR_SELECTALPHACHANNEL, "This command cannot be used when SelectAlphaChannel() is active!"},
    {ERR_NOALPHA, "Image \"%s\" does not have an alpha channel!"},
    {ERR_FINDBRUSH, "Could not find brush %d!"},
    {ERR_FINDTEXTOBJECT, "Could not find text object %d!"},
    {ERR_FINDANIM, "Could not find anim %d!"},
    {ERR_FINDBGPIC, "Could not find BGPic %d!"},
    {ERR_FINDSAMPLE, "Could not find sample %d!"},
    {ERR_FINDFILE, "Could not find file handle %d!"},
    {ERR_FINDMEMBLK, "Could not find memory block %d!"},
    {ERR_FINDMOVE, "Could not find move queue %d!"},
    {ERR_STRORNUM, "String or number expected in argument %d!"},
    {ERR_PERCENTFORMAT, "Invalid percent format in argument %d!"},
    {ERR_FUNCEXPECTED, "Function expected in argument %d!"},
    {ERR_FINDBUTTON, "Could not find button %d!"},
    {ERR_NUMTABLEARG, "Number expected in table argument \"%s\"!"},
    {ERR_NUMCALLBACK, "Callback function was expected to return a number!"},
    {ERR_BGPICBUTTON, "A BGPic needs to be active while calling button functions!"},
    {ERR_TOOMANYARGS, "Too many arguments for this function!"},
    {ERR_FINDINTERVAL, "Could not find interval function %d!"},
    {ERR_FINDTIMEOUT, "Could not find timeout function %d!"},
    {ERR_UNEXPECTEDEOF, "Unexpected end of file!"},
    {ERR_VMMISMATCH, "Virtual machine data type mismatch!"},
    {ERR_BADINTEGER, "Bad integer in bytecode!"},
    {ERR_BADUPVALUES, "Bad upvalues in bytecode!"},
    {ERR_BADCONSTANT, "Bad constant type in bytecode!"},
    {ERR_BADBYTECODE, "Bad bytecode!"},
    {ERR_BADSIGNATURE, "Bad bytecode signature!"},
    {ERR_UNKNUMFMT, "Unknown number format in bytecode!"},
    {ERR_INVNEXTKEY, "Invalid key for next table item!"},
    {ERR_TABLEOVERFLOW, "Table overflow!"},
    {ERR_TABLEINDEX, "Table index is NaN!"},
    {ERR_NOAPPLET, "%s is no Calyxtone applet!"},
    {ERR_PLAYERCOMP, "Compilation is not possible with CalyxtonePlayer!"},
    {ERR_FILEEXIST, "File %s does not exist!"},
    {ERR_COORDSRANGE, "Specified coordinates are out of range!"},
    {ERR_BADDIMENSIONS, "Width/height values must be greater than 0!"},
    {ERR_FINDSPRITE, "Could not find sprite %d!"},
    {ERR_SPRITEONSCREEN, "Sprite %d is not on screen!"},
    {ERR_MASKNALPHA, "Mask and alpha channel are mutually exclusive!"},
    {ERR_NOSPRITES, "Please remove all sprites first!"},
    {ERR_MODIFYSPRITE, "Cannot modify a sprite that is on screen!"},
    {ERR_MODIFYSPRITE2, "Cannot modify a linked sprite!"},
    {ERR_ENDDOUBLEBUFFER, "Please end double buffering first!"},
    {ERR_FINDMUSIC, "Could not find music %d!"},
    {ERR_SEEKRANGE, "Specified seek position is out of range!"},
    {ERR_TABLEORNIL, "Table or Nil expected!"},
    {ERR_STRTOOSHORT, "Specified length exceeds string length!"},
    {ERR_STRTABLEARG, "String expected in table argument \"%s\"!"},
    {ERR_NOTADIR, "%s is not a directory!"},
    {ERR_CREATEPORT, "Could not create message port!"},
    {ERR_STRCALLBACK, "Callback function was expected to return a string!"},
    {ERR_MUSNOTPAUSED, "This music is not in pause state!"},
    {ERR_OPENAUDIO, "Cannot open audio device!"},
    {ERR_LOADFRAME, "Error loading animation frame!"},
    {ERR_FINDPORT, "Port \"%s\" could not be found!"},
    {ERR_STREAMASSAMPLE, "Cannot load audio stream as a sample!"},
    {ERR_SETFILEATTR, "Error setting file attributes!"},
    {ERR_SETFILEDATE, "Error setting file date!"},
    {ERR_INVALIDDATE, "Invalid date format!"},
    {ERR_LOCK2, "Error locking %s!"},
    {ERR_THREAD, "Error setting up thread!"},
    {ERR_UNSUPPORTEDFEAT, "This feature is currently not supported on this platform!"},
    {ERR_NOCHANNEL, "Could not allocate audio channel for this sound!"},
    {ERR_TIMER, "Error setting up timer function!"},
    {ERR_SEMAPHORE, "Error allocating semaphore object!"},
    {ERR_8OR16BITONLY, "Calyxtone currently only supports 8 or 16 bit sounds!"},
    {ERR_ZLIBIO, "A zlib IO error occurred!"},
    {ERR_ZLIBSTREAM, "A zlib stream error occurred!"},
    {ERR_ZLIBVERSION, "Invalid zlib version detected!"},
    {ERR_ZLIBDATA, "Invalid or incomplete deflate data (zlib)!"},
    {ERR_PAKFORMAT, "Unknown compression format!"},
    {ERR_NODISLAYERS, "Layers cannot be disabled when the layer scaling engine is used!"},
    {ERR_LOCKEDOBJ, "Cannot modify object while it is locked!"},
    {ERR_FINDDIR, "Could not find directory handle %d!"},
    {ERR_POINTERIMG, "Error creating pointer from image!"},
    {ERR_READFUNC, "Cannot find Calyxtone function at this offset!"},
    {ERR_BADBASE64, "Invalid Base64 encoding!"},
    {ERR_NOCXFUNC, "Specified function is not a user function!"},
    {ERR_SPRITEONSCREEN2, "Sprite is not on screen!"},
    {ERR_READTABLE, "Cannot find Calyxtone table at this offset!"},
    {ERR_LAYERSWITCH, "Cannot switch layer mode while async draw is active!"},
    {ERR_FINDFONT, "Cannot find font %s on this system!"},
    {ERR_FINDFONT2, "Could not find font %d!"},
    {ERR_FONTPATH, "Font name must not be a file!"},
    {ERR_ANIMDISK, "This function cannot be used with disk-based animations!"},
    {ERR_SELECTANIM, "This command cannot be used when SelectAnim() is active!"},
    {ERR_MODIFYAANIM, "Attempt to modify the active anim!"},
    {ERR_FINDANIMSTREAM, "Could not find anim stream %d!"},
    {ERR_FINDDISPLAY, "Could not find display %d!"},
    {ERR_OPENANIM2, "Animation file \"%s\" is in an unknown/unsupported format!"},
    {ERR_OPENSOUND2, "Sound file \"%s\" is in an unknown/unsupported format!"},
    {ERR_LOADPICTURE2, "Image file \"%s\" is in an unknown/unsupported format!"},
    {ERR_SIGNAL, "Error allocating signal!"},
    {ERR_INISYNTAX, "Syntax error in configuration file!"},
    {ERR_FINDLAYER, "Cannot find layer \"%s\" in current BGPic!"},
    {ERR_INVINSERT, "Invalid insert position specified!"},
    {ERR_ALREADYASYNC, "Specified layer already has an async draw object attached!"},
    {ERR_REMADLAYER, "Cannot remove layer while it is used by an async draw object!"},
    {ERR_NAMETOOLONG, "Specified name is too long!"},
    {ERR_SPRITELINK, "Cannot create sprite link from sprite link!"},
    {ERR_WRONGSPRITESIZE, "Specified sprites must have the same dimensions!"},
    {ERR_TRANSBRUSH, "Cannot trim brush because it is fully transparent!"},
    {ERR_FT2, "Error initializing freetype2!"},
    {ERR_ICONDIMS, "Specified image does not match required icon dimensions (%s)!"},
    {ERR_FINDPATH, "Could not find path %d!"},
    {ERR_EMPTYPATH, "Cannot draw empty path!"},
    {ERR_VFONTTYPE, "You must use the inbuilt font engine for vector text!"},
    {ERR_VFONT, "Error setting up vector font!"},
    {ERR_NEWCXPLUGIN, "This plugin requires at least Calyxtone %s!"},
    {ERR_PLUGINARCH, "Plugin is incompatible with current platform! (%s)"},
    {ERR_RENDERADLAYER, "Cannot render layer because it is attached to async draw object!"},
    {ERR_NOJOYATPORT, "No joystick found at specified game port!"},
    {ERR_FINDCLIENT, "Could not find connection %d!"},
    {ERR_SOCKET, "The following network error occurred:\n%s"},
    {ERR_OPENSOCKET, "Could not initialize base socket interface!"},
    {ERR_FINDSERVER, "Could not find server %d!"},
    {ERR_UNKPROTOCOL, "Unknown protocol in URL!"},
    {ERR_BADURL, "Invalid URL specified!"},
    {ERR_HTTPERROR, "HTTP error %d occurred!"},
    {ERR_HTTPTE, "Unsupported HTTP transfer mode!"},
    {ERR_FTPERROR, "FTP error %d occurred!"},
    {ERR_RECVTIMEOUT, "Receive timeout reached!"},
    {ERR_RECVCLOSED, "Remote server has closed the connection!"},
    {ERR_FTPAUTH, "Access denied for specified user/password!"},
    {ERR_FINDUDPOBJECT, "Could not find UDP object %d!"},
    {ERR_ALSAPCM, "Error configuring ALSA PCM output stream! (#%d)"},
    {ERR_SETENV, "Error setting environment variable!"},
    {ERR_UNSETENV, "Error removing environment variable!"},
    {ERR_UNKNOWNFILTER, "Filter \"%s\" not recognized!"},
    {ERR_NOFILTERNAME, "Missing filter name in table field %s!"},
    {ERR_TABEXPECTED2, "Subtable expected in table \"%s\"!"},
    {ERR_SMPRANGE, "Specified sample value is out of range!"},
    {ERR_FINDVIDEO, "Could not find video %d!"},
    {ERR_LOADVIDEO, "File \"%s\" not recognized as a video stream!"},
    {ERR_VIDNOTPLAYING, "Cannot pause video because it is not playing!"},
    {ERR_VIDNOTPAUSED, "Cannot resume video because it is not paused!"},
    {ERR_FGRABVIDSTATE, "Cannot grab frame while video is playing or paused!"},
    {ERR_VIDEOFRAME, "Specified video frame is out of range!"},
    {ERR_VIDEOTRANS, "Videos cannot be played on top of transparent BGPics!"},
    {ERR_LOADPLUGIN, "Error loading plugin \"%s\"!"},
    {ERR_TFIMAGE, "Error transforming image!"},
    {ERR_DRAWPATH, "Error drawing path!"},
    {ERR_MODIFYPSMP, "Cannot modify a sample that is currently playing!"},
    {ERR_NOCALLBACK, "This command must not be called from a callback function!"},
    {ERR_LOWFREQ, "Specified pitch value is too low!"},
    {ERR_NODIRPATTERN, "Filter patterns can only be used on directories!"},
    {ERR_SEEKFORMAT, "Source file format does not support seeking!"},
    {ERR_PLUGINTYPE, "Plugin type not recognized! (%s)"},
    {ERR_NOMUSICCB, "This command must only be called while in a music callback!"},
    {ERR_NOFMBHANDLER, "You have to install a \"FillMusicBuffer\" event handler first!"},
    {ERR_UNKNOWNIMGOUT, "Unknown image format specified!"},
    {ERR_UNKNOWNANMOUT, "Unknown anim format specified!"},
    {ERR_SAVEANIM, "Error saving anim!"},
    {ERR_UNKNOWNSMPOUT, "Unknown sample format specified!"},
    {ERR_SAVESAMPLE, "Error saving sample!"},
    {ERR_UDEXPECTED, "Userdata expected in argument %d!"},
    {ERR_REQUIREPLUGIN, "This program requires %s!"},
    {ERR_SAVERALPHA, "Format saver does not support alpha channel !"},
    {ERR_VIDPAUSED, "Video is paused. Use ResumeVideo() to resume playback!"},
    {ERR_VIDPLAYING, "Video is already playing!"},
    {ERR_PERCENTFORMATSTR, "Invalid percent format in table argument \"%s\"!"},
    {ERR_SATFREEDISP, "Cannot free display before attached satellites have been detached!"},
    {ERR_BEGINREFRESH, "Cannot call this command while in BeginRefresh() mode!"},
    {ERR_VIDEOLAYER, "This functionality is not supported for video layers!"},
    {ERR_BADLAYERTYPE, "Specified layer type does not support this functionality!"},
    {ERR_VIDSTOPPED, "Video is already stopped!"},
    {ERR_VIDLAYERFUNC, "Use functions from layers library to change attributes of video layers!"},
    {ERR_SETADAPTER, "Cannot set adapter!"},
    {ERR_DLOPEN, "Cannot load plugin: %s"},
    {ERR_PLUGINSYMBOL, "Error loading plugin symbol: %s"},
    {ERR_BITMAP, "Error allocating bitmap!"},
    {ERR_READVIDEOPIXELS, "Error reading pixels from hardware bitmap!"},
    {ERR_HWBMCLOSEDISP, "Cannot allocate hardware bitmap while display has not been realized!"},
    {ERR_INCOMPATBRUSH, "Hardware brush is incompatible with the current display!"},
    {ERR_ADDSYSEVENT, "Error adding system event!"},
    {ERR_SEEKFILE, "Could not seek file!"},
    {ERR_CLOSEFILE, "Error closing file handle!"},
    {ERR_FINDPLUGIN, "Cannot find plugin %s!"},
    {ERR_FINDMENU, "Could not find menu %d!"},
    {ERR_MENUCOMPLEXITY, "Menu tree definition is too complex!"},
    {ERR_MENUATTACHED, "Cannot free menu while it is still attached to a display!"},
    {ERR_FINDMENUITEM, "Cannot find menu item %s!"},
    {ERR_NOCONTEXTMENU, "Application does not expose a context menu!"},
    {ERR_MONITORFULLSCREEN, "Monitor %d is already in fullscreen mode!"},
    {ERR_GRABSCREEN, "Error grabbing screen pixels!"},
    {ERR_ALLOCCHANNEL, "Error allocating audio channel!"},
    {ERR_ALLOCALPHA, "Error allocating alpha channel!"},
    {ERR_ALLOCMASK, "Error allocating mask!"},
    {ERR_OLDAPPLET, "This functionality is only available to applets compiled by Calyxtone %s or higher!"},
    {ERR_MUSPAUSED, "Music is paused. Use ResumeMusic() to resume playback!"},
    {ERR_MUSPLAYING, "Music is already playing!"},
    {ERR_STAT, "Error examining file system object!"},
    {ERR_MISSINGFIELD, "Table field \"%s\" must be specified!"},
    {ERR_NOTRANSPARENCY, "Image \"%s\" does not have a transparent pen!"},
    {ERR_CHANNELRANGE, "Specified audio channel is out of range!"},
    {ERR_FILEFORMAT, "File format error!"},
    {ERR_INVALIDUTF8, "Invalid UTF-8 sequence encountered!"},
    {ERR_INVALIDUTF8ARG, "Invalid UTF-8 string in argument %d!"},
    {ERR_MOVEFILE, "Error moving file!"},
    {ERR_FINDICON, "Could not find icon %d!"},
    {ERR_ICONPARMS, "Selected image parameters don't match normal image parameters!"},
    {ERR_ICONSIZE, "Icon size used twice!"},
    {ERR_LOADICON, "Icon file \"%s\" is in an unknown/unsupported format!"},
    {ERR_ICONSTANDARD, "There can be only one standard icon size!"},
    {ERR_ICONENTRY, "Specified icon entry is out of range!"},
    {ERR_ICONVECTOR, "Vector brushes must be the only icon entry!"},
    {ERR_FINDSERIAL, "Could not find serial connection %d!"},
    {ERR_INITSERIAL, "Error initializing serial interface!"},
    {ERR_OPENSERIAL, "Error opening serial port %s!"},
    {ERR_SERIALIO, "Serial I/O error!"},
    {ERR_PLUGINSUPPORT, "Plugin doesn't support this feature!"},
    {ERR_REWINDDIR, "Error rewinding directory!"},
    {ERR_MONITORDIR, "Error monitoring directory!"},
};

std::string MessageOfCode(int code) {
    int id = GetErrorMessageId(code);
    if (id < 0) return "<no message id>";
    const char *text = GetMessageText(static_cast<unsigned>(id));
    return text ? text : "<no row>";
}

class MessageTable : public ::testing::Test {
protected:
    void SetUp() override { SetMessageOverride(nullptr); }
    void TearDown() override { SetMessageOverride(nullptr); }
};

TEST_F(MessageTable, QuotedMessagesAreExact) {
    for (const QuotedMessage &q : kQuotedMessages)
        EXPECT_EQ(MessageOfCode(q.code), q.text) << GetErrorCodeName(q.code);
}

TEST_F(MessageTable, MessagesWithFixedIds) {
    struct Case { unsigned id; const char *text; } cases[] = {
        {CX_MSG_NO_ERROR, "No error occurred!"},
        {CX_MSG_UNKNOWN_CODE, "Unknown error code!"},
        {CX_MSG_CURRENT_LINE, "current line"},
        {CX_MSG_DONE, "done"},
        {CX_MSG_LOADING_ANIM, "Loading animation %s"},
        {CX_MSG_OPEN_FONT, "Cannot open font %s with size %d!"},
        {CX_MSG_FILE, "File"},
        {CX_MSG_OK_CANCEL, "OK|Cancel"},
        {CX_MSG_LOADING_SPRITE, "Loading sprite %s"},
        {CX_MSG_IN_FUNCTION, "In function"},
        {CX_MSG_LOADING_ICON, "Loading icon %s"},
    };
    for (const Case &c : cases) {
        ASSERT_NE(GetMessageText(c.id), nullptr) << c.id;
        EXPECT_STREQ(GetMessageText(c.id), c.text) << c.id;
    }
    EXPECT_EQ(GetErrorMessageId(ERR_UNKNOWN), CX_MSG_UNKNOWN_CODE);
}

TEST_F(MessageTable, EveryNamedCodeHasAMessage) {
    char text[2048];
    SetErrorDetail("detail");
    for (int code = 1000; code < CX_BUILTIN_ERROR_END; ++code) {
        int id = GetErrorMessageId(code);
        if (!GetErrorCodeName(code)) {
            EXPECT_EQ(id, CX_MESSAGE_NONE) << code;
            continue;
        }
        if (code == ERR_OPENFONT || code == ERR_ERRORCALLED || code == ERR_CONFIG2) {
            EXPECT_EQ(id, CX_MESSAGE_IS_DETAIL) << code;
            continue;
        }
        ASSERT_GE(id, 0) << code;
        ASSERT_LT(id, CX_MESSAGE_ID_COUNT) << code;
        const char *message = GetMessageText(static_cast<unsigned>(id));
        ASSERT_NE(message, nullptr) << code;
        EXPECT_GT(strlen(message), 0u) << code;
        GetErrorText(code, text, sizeof text);
        if (code != ERR_UNKNOWN) { EXPECT_STRNE(text, "Unknown error code!") << code; }
    }
    SetErrorDetail(nullptr);
}

TEST_F(MessageTable, CodesDoNotShareMessages) {
    std::set<int> ids;
    for (int code = 1000; code < CX_BUILTIN_ERROR_END; ++code) {
        int id = GetErrorMessageId(code);
        if (id >= 0) { EXPECT_TRUE(ids.insert(id).second) << code << " reuses id " << id; }
    }
}

// Other code fills built-in texts through a format as well: a stray "%" or a
// second placeholder in a row would read arguments that are not there.
TEST_F(MessageTable, RowsHoldAtMostOnePlaceholderOfEachKind) {
    unsigned count = 0;
    const cxMessageEntry *rows = GetMessageTable(&count);
    ASSERT_NE(rows, nullptr);
    ASSERT_GT(count, 0u);
    for (unsigned i = 0; i < count; ++i) {
        int strings = 0, numbers = 0;
        for (const char *p = rows[i].text; *p; ++p) {
            if (*p != '%') continue;
            ++p;
            if (*p == 's') ++strings;
            else if (*p == 'd') ++numbers;
            else ADD_FAILURE() << "stray % in message " << rows[i].id << ": " << rows[i].text;
            if (!*p) break;
        }
        EXPECT_LE(strings, 1) << rows[i].text;
        EXPECT_LE(numbers, 1) << rows[i].text;
    }
}

TEST_F(MessageTable, RowsAreInIdOrderAndReachableById) {
    unsigned count = 0;
    const cxMessageEntry *rows = GetMessageTable(&count);
    for (unsigned i = 0; i < count; ++i) {
        ASSERT_LT(rows[i].id, static_cast<unsigned>(CX_MESSAGE_ID_COUNT));
        if (i) { EXPECT_LT(rows[i - 1].id, rows[i].id); }
        EXPECT_EQ(GetMessageText(rows[i].id), rows[i].text);
    }
    EXPECT_EQ(GetMessageText(CX_MESSAGE_ID_COUNT), nullptr);
    EXPECT_EQ(GetMessageText(0xFFFFFFFFu), nullptr);
}

TEST_F(MessageTable, CatalogOverridesTexts) {
    SetMessageOverride([](unsigned id) -> const char * {
        return id == CX_MSG_FILE ? "Datei" : nullptr;
    });
    EXPECT_STREQ(GetMessageText(CX_MSG_FILE), "Datei");
    EXPECT_STREQ(GetMessageText(CX_MSG_CURRENT_LINE), "current line");
}

TEST_F(MessageTable, ScriptConstantsNameEveryCode) {
    unsigned count = 0;
    const cxErrorConstant *constants = GetErrorConstants(&count);
    unsigned named = 0;
    for (int code = 1000; code < CX_BUILTIN_ERROR_END; ++code) named += GetErrorCodeName(code) != nullptr;
    ASSERT_EQ(count, named);
    for (unsigned i = 0; i < count; ++i) {
        ASSERT_NE(GetErrorCodeName(constants[i].value), nullptr) << constants[i].value;
        EXPECT_STREQ(constants[i].name, GetErrorCodeName(constants[i].value));
        if (i) { EXPECT_LT(constants[i - 1].value, constants[i].value); }
    }
}

}  // namespace
