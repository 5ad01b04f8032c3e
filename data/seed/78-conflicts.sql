-- A bulk run whose write met another operator's commit since it read (messages M940 to M959).
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M940', 'Another operator changed $$ meanwhile: a record with the same key is there now. Nothing was saved; try again.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M941', 'Another operator changed $$ meanwhile: a record it refers to, or one that refers to it, was added or removed. Nothing was saved; try again.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M940', 'Un autre opérateur a modifié $$ entre-temps : un enregistrement de même clé existe maintenant. Rien n''a été enregistré ; recommencez.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M941', 'Un autre opérateur a modifié $$ entre-temps : un enregistrement auquel il renvoie, ou qui renvoie à lui, a été ajouté ou supprimé. Rien n''a été enregistré ; recommencez.');
