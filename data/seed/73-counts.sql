-- Texts that name a count, for a count of one: the row of the text for any other count keeps its
-- code (M593 beside M436, M591 beside M437, M605 beside M438, M430 beside M439, M269 beside M440, M432
-- beside M441, whose only entry needs no count).
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M436', '%1 was refused with %2 problem: nothing was changed.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M436', '%1 a été refusé, avec %2 problème : rien n''a été modifié.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M437', 'The import changes %1 telephone that is already in the database. Go on?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M437', 'L''importation modifie %1 téléphone déjà présent dans la base. Continuer ?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M438', '$$ change');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M438', '$$ modification');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M439', 'The value of %1 is longer than the %2 character the column holds.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M439', 'La valeur de %1 dépasse le %2 caractère que contient la colonne.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M440', '$$ record');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M440', '$$ enregistrement');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M441', 'This import would hide the only visible entry of company %1. Hidden entries are never brought back by an import. Go on?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M441', 'Cette importation masquerait la seule entrée visible de la société %1. Une importation ne fait jamais réapparaître une entrée masquée. Continuer ?');
