-- Several operators on one database: what a run tells when another operator's change came first
-- (messages M700 to M729).
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M700', 'The record is no longer there: another operator deleted it or changed its key since it was listed. Nothing was saved; list the records again.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M700', 'L''enregistrement n''existe plus : un autre opérateur l''a supprimé ou a changé sa clé depuis qu''il a été listé. Rien n''a été enregistré ; listez de nouveau les enregistrements.');
