-- Keeping the data whole: the texts of the checks every writer makes before it writes (messages M430
-- to M459; "%1", "%2"... take the values).
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M430', 'The value of %1 is longer than the %2 characters the column holds.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M430', 'La valeur de %1 dépasse les %2 caractères que contient la colonne.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M431', '$$ is not a user list: it has no [Users] line. Nothing was changed.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M431', '$$ n''est pas une liste d''utilisateurs : il n''a pas de ligne [Users]. Rien n''a été modifié.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M432', 'This import would hide %1 of the %2 visible entries of company %3. Hidden entries are never brought back by an import. Go on?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M432', 'Cette importation masquerait %1 des %2 entrées visibles de la société %3. Une importation ne fait jamais réapparaître une entrée masquée. Continuer ?');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M433', 'Import not confirmed: nothing was changed.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M433', 'Importation non confirmée : rien n''a été modifié.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M434', '%1 was read as %2.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M434', '%1 a été lu en %2.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M435', 'Line %1 holds a control character and was not read; nothing is hidden.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M435', 'La ligne %1 contient un caractère de contrôle et n''a pas été lue ; rien n''est masqué.');
