#include "script/commands.h"

#include "script/edit_commands.h"
#include "script/file_commands.h"
#include "script/tag_commands.h"

namespace quorvel {

void ExecuteCommand(Context& ctx, ScriptCommand command) {
  using C = ScriptCommand;
  switch (command) {
    case C::Select:
    case C::Cursor:
      return SelectCommand(ctx);
    case C::Trim:
      return TrimCommand(ctx);
    case C::Delete:
      return DeleteCommand(ctx);
    case C::BaseDelete:
      return BaseDeleteCommand(ctx);
    case C::Cut:
      return CutCommand(ctx);
    case C::Copy:
      return CopyCommand(ctx);
    case C::Paste:
      return PasteCommand(ctx);
    case C::SelectAll:
      return SelectAllCommand(ctx);
    case C::Unselect:
      return UnselectCommand(ctx);
    case C::FadeIn:
      return FadeCommand(ctx, true);
    case C::FadeOut:
      return FadeCommand(ctx, false);
    case C::Volume:
      return VolumeCommand(ctx);
    case C::Silence:
      return SilenceCommand(ctx);
    case C::Insert:
      return InsertCommand(ctx);
    case C::Load:
      return LoadCommand(ctx);
    case C::Save:
      return SaveCommand(ctx);
    case C::SaveAs:
      return SaveAsCommand(ctx);
    case C::SaveSelection:
      return SaveSelectionCommand(ctx);
    case C::Split:
      return SplitCommand(ctx);
    case C::Reload:
      return ReloadCommand(ctx);
    case C::Close:
    case C::Unload:
      return CloseCommand(ctx);
    case C::PlayInput:
    case C::PlayOutput:
    case C::PlayPreview:
    case C::PlaySelection:
      return PlayCommand(ctx, command);
    case C::NoId3v2:
    case C::RemoveId3v2:
    case C::NoId3v1:
    case C::RemoveId3v1:
    case C::NoOther:
    case C::RemoveOther:
    case C::NoLyrics:
    case C::RemoveLyrics:
      return RemoveBlockCommand(ctx, command);
    case C::Id3v2Title:
    case C::Id3v2Artist:
    case C::Id3v2Album:
    case C::Id3v2Genre:
    case C::Id3v2Year:
    case C::Id3v2Track:
    case C::Id3v2Bpm:
    case C::Id3v2Composer:
    case C::Id3v2Lyricist:
    case C::Id3v2Encoder:
    case C::Id3v2Copyright:
    case C::Id3v2Cgd:
    case C::Id3v2Comment:
    case C::Id3v2Lyrics:
      return TextFieldCommand(ctx, command);
    case C::Id3v2CommentStart:
    case C::Id3v2LyricsStart:
      return BlockStartCommand(ctx, command);
    case C::BlockEnd:
      return CloseScriptBlock(ctx);
    case C::Id3v2Url:
      return UrlFieldCommand(ctx);
    case C::Id3v2Picture:
      return PictureFieldCommand(ctx);
    case C::Unknown:
      break;
  }
}

}  // namespace quorvel
