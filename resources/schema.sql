-- Every column but id is TEXT: values are stored and read back byte for byte,
-- and a typed "007" stays "007".
CREATE TABLE rule (
    id INTEGER PRIMARY KEY,
    spare TEXT,
    code TEXT,
    name TEXT,
    url TEXT,
    cookie TEXT,
    ua TEXT,
    arttile TEXT,
    arturl TEXT,
    lasttime TEXT,
    buquan TEXT,
    regular TEXT,
    before TEXT,
    after TEXT,
    tindex TEXT,
    uindex TEXT,
    oindex TEXT,
    isdo TEXT,
    lastid TEXT,
    type TEXT
);
CREATE TABLE info (
    id INTEGER PRIMARY KEY,
    planname TEXT,
    planid TEXT,
    title TEXT,
    url TEXT,
    other TEXT,
    addtime TEXT,
    issoucang TEXT
);
