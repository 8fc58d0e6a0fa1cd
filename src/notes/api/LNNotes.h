#pragma once
// The Notes interface in one include: session, databases, views, documents,
// items, rich text, attachments, times, formulas, errors and the core calls.

#include "notes/api/ItemTypes.h"
#include "notes/api/LNAttachment.h"
#include "notes/api/LNDatabase.h"
#include "notes/api/LNDatetime.h"
#include "notes/api/LNFormula.h"
#include "notes/api/LNGlobal.h"
#include "notes/api/LNItem.h"
#include "notes/api/LNNote.h"
#include "notes/api/LNNotesSession.h"
#include "notes/api/LNRichText.h"
#include "notes/api/LNViewFolder.h"
#include "notes/api/NotesCore.h"
#include "notes/api/RichTextRecords.h"
