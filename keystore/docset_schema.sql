-- The key database template installed beside the program. The program reads
-- the columns by position, so their order is part of the file format.
CREATE TABLE keylist (
  id INTEGER,
  keyname TEXT,
  keyvalue TEXT,
  about TEXT
);
