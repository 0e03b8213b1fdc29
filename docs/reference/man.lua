-- Turns the reference pages into man pages that read well in a terminal.

-- No hyphenation, and no line break after a hyphen either, so that an option
-- such as --max-sub-steps stays on one line as a reader types it; lines
-- left-adjusted, since without hyphenation justified lines open wide gaps.
-- On a terminal one long page: tables would otherwise get a blank line where
-- a printed page would end.
function Pandoc(doc)
  table.insert(doc.blocks, 1, pandoc.RawBlock('man', '.nh\n.ad l\n.cflags 0 -\n.if n .pl 10000i'))
  return doc
end

-- The writer sizes a table to 70 characters, which with the indent and the
-- column gaps overflows an 80-column terminal: 90 % of that fits.
function Table(tbl)
  for _, column in ipairs(tbl.colspecs) do
    if type(column[2]) == 'number' then column[2] = column[2] * 0.9 end
  end
  return tbl
end

-- A link between pages of the source tree means nothing in a man page: keep
-- its text, which names the file.
function Link(link)
  if not link.target:match('^%a[%w+.-]*:') then return link.content end
end
